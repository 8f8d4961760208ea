"""tessarine info: any store or file described from metadata, sizes and frame headers only,
strict JSON, one ratio definition, and one line with status 1 for what it cannot read."""

import json
import struct
from pathlib import Path

import numcodecs
import numpy as np
import pytest
import zarr
from zarr.storage import LocalStore, WrapperStore

from tessarine_tools.cli import main
from tessarine_tools.cli import store as cli_store
from tessarine_tools.cli.info import _folder_sizes
from tessarine_tools.cli.store_summary import summarise


class CountingStore(WrapperStore):
    """Counts every byte the summary reads from the wrapped store."""

    read = 0

    async def get(self, key, prototype, byte_range=None):
        found = await self._store.get(key, prototype, byte_range)
        CountingStore.read += 0 if found is None else len(found)
        return found


@pytest.fixture
def folder(tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    np.save("wave.npy", (np.sin(np.arange(64000) / 30.0) * 1000).astype(np.int16))
    return tmp_path


def run(argv, capsys):
    capsys.readouterr()
    status = main(argv)
    out, err = capsys.readouterr()
    return status, out, err


def test_a_thousand_chunks_are_summarised_from_metadata_and_frame_headers(folder, monkeypatch):
    monkeypatch.setattr(cli_store, "BLOCK", 64)
    assert main(["compress", "wave.npy", "-o", "wave.zarr", "--max-error", "2"]) == 0
    CountingStore.read = 0
    store = CountingStore(LocalStore("wave.zarr", read_only=True))
    summary = summarise(store, _folder_sizes(Path("wave.zarr")), "wave.zarr")
    metadata = Path("wave.zarr/zarr.json").stat().st_size
    assert summary.chunks_stored == summary.channels[0].chunks == 1000
    # Per chunk: lane count, one lane length, a version-2 frame header (53 bytes).
    assert CountingStore.read == metadata + 1000 * (4 + 4 + 53)


def test_format_2_and_foreign_codecs(folder, capsys):
    samples = np.load("wave.npy").reshape(2, -1)
    v2 = zarr.create_array(
        "v2.zarr",
        shape=samples.shape,
        chunks=(1, 8192),
        dtype="int16",
        zarr_format=2,
        compressors=numcodecs.get_codec({"id": "tessarine", "max_error": 0.4}),
    )
    v2[:] = samples
    zarr.create_array("zstd.zarr", data=samples, chunks=(2, 5000))
    status, out, _ = run(["info", "v2.zarr"], capsys)
    assert status == 0 and "zarr format 2 array, 2 x 32000 int16" in out
    assert "ch1: 4 chunks" in out and "predictive 4; bound max_error=0.4; largest error 0" in out
    status, out, _ = run(["info", "zstd.zarr", "--json"], capsys)
    report = json.loads(out)
    assert report["codecs"] == ["bytes", "zstd"] and report["channels"] == []
    assert report["ratio"] == samples.nbytes / report["stored_bytes"]


def test_ratio_is_the_same_as_compress_reports_and_json_is_strict(folder, capsys):
    for flags in (["--max-error", "3"], ["--scale", "8"], ["--lossless"]):
        status, out, _ = run(["compress", "wave.npy", "-o", "w.tsrn", "--force", *flags], capsys)
        said = out.split()[1]
        status, out, _ = run(["info", "w.tsrn", "--json"], capsys)

        def refuse(constant):
            raise AssertionError(f"{constant} in strict JSON")

        report = json.loads(out, parse_constant=refuse)
        assert f"{report['ratio']:.2f}" == said and report["dtype"] == "int16"


def frame_v2_header(version=2, kind=b"i", size=2):
    body = struct.pack("<cBQB3dBd", kind, size, 10, 1, 0.5, 0, 0, 0, 0.0)
    return b"TSRF" + bytes([version]) + b"\0" * 4 + body


@pytest.mark.parametrize(
    "name, content, message",
    [
        ("empty.tsrn", b"", "empty.tsrn: not a tessarine frame or container (it starts with b'')"),
        ("text.tsrn", b"hello world", "text.tsrn: not a tessarine frame or container"),
        ("new.tsrn", frame_v2_header(version=9), "new.tsrn: frame version 9 is newer than this"),
        ("odd.tsrn", frame_v2_header(kind=b"c"), "odd.tsrn: frame is damaged: unknown sample type"),
        ("cut.tsrn", frame_v2_header()[:30], "cut.tsrn: frame is shorter than its header"),
        ("plain.zarr/zarr.json", b"{}", "plain.zarr: not a readable zarr array"),
        ("bad.zarr.zip", b"PK not really", "bad.zarr.zip: not a readable zarr store"),
    ],
)
def test_what_cannot_be_read_is_one_line_and_status_1(folder, capsys, name, content, message):
    Path(name).parent.mkdir(exist_ok=True)
    Path(name).write_bytes(content)
    status, _, err = run(["info", name.split("/")[0]], capsys)
    assert status == 1 and err.startswith(f"tessarine: {message}") and err.count("\n") == 1


def test_a_chunk_whose_lanes_do_not_add_up_is_damaged(folder, capsys):
    assert main(["compress", "wave.npy", "-o", "wave.zarr", "--max-error", "2"]) == 0
    chunk = Path("wave.zarr/c/0/0")
    chunk.write_bytes(chunk.read_bytes()[:-1])
    status, _, err = run(["info", "wave.zarr"], capsys)
    assert status == 1 and err == (
        "tessarine: wave.zarr: chunk c/0/0 is damaged: its lanes do not add up to its size\n"
    )
