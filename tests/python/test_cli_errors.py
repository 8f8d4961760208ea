"""The command line ends every failure as one line on stderr with its exit status, never a
traceback, and never writes an output from a store whose attributes make no sense."""

import sys
import zipfile
from pathlib import Path

import numpy as np
import pytest
import zarr

from tessarine_tools.cli import main


@pytest.fixture
def folder(tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    np.save("mono.npy", np.sin(np.arange(4000) / 9.0).astype(np.float32))
    np.save("multi.npy", np.sin(np.arange(8000) / 9.0).reshape(2, -1))
    assert main(["compress", "mono.npy"]) == 0  # a .tsrn file records no rate
    assert main(["compress", "multi.npy", "-o", "multi.zarr"]) == 0
    return tmp_path


def fails(argv, capsys, status=1):
    capsys.readouterr()
    assert main(argv) == status
    error = capsys.readouterr().err
    assert error.startswith("tessarine: ") and error.count("\n") == 1
    return error


@pytest.mark.parametrize("rate", ["0.1", "1e300", "3e9"])
def test_sound_rates_no_file_can_hold_are_usage_errors(folder, capsys, rate):
    fails(["decompress", "mono.tsrn", "-o", "out.wav", "--rate", rate], capsys, status=2)
    assert not Path("out.wav").exists()


def test_a_recorded_rate_no_sound_file_can_hold_is_a_data_error(folder, capsys):
    zarr.open_array("multi.zarr", mode="r+").attrs["sample_rate"] = 1e300
    assert "recorded sample rate" in fails(["decompress", "multi.zarr", "-o", "out.wav"], capsys)


@pytest.mark.parametrize(
    "name, value",
    [
        ("source_dtype", "object"),
        ("source_dtype", "|O"),
        ("source_dtype", "<U3"),
        ("source_dtype", 7),
        ("source_ndim", 3),
        ("source_ndim", "x"),
        ("wav_subtype", "ULAW"),
        ("channel_names", ["only one"]),
    ],
)
def test_store_attributes_that_make_no_sense_are_refused(folder, capsys, name, value):
    zarr.open_array("multi.zarr", mode="r+").attrs[name] = value
    assert name in fails(["decompress", "multi.zarr", "-o", "out.npy"], capsys)
    assert not Path("out.npy").exists()
    fails(["info", "multi.zarr"], capsys)


def test_a_damaged_chunk_is_a_data_error(folder, capsys):
    chunk = Path("multi.zarr/c/1/0")
    data = bytearray(chunk.read_bytes())
    data[len(data) // 2] ^= 0xFF
    chunk.write_bytes(bytes(data))
    assert "multi.zarr" in fails(["decompress", "multi.zarr", "-o", "out.npy"], capsys)
    # info reads headers only: damage inside a payload is for decompress to find.
    assert main(["info", "multi.zarr"]) == 0


def test_library_refusals_while_writing_a_store_are_data_errors(folder, capsys):
    np.save("huge.npy", np.array([[1e39, 0.0], [0.0, 1.0]]))
    assert "float32" in fails(["compress", "huge.npy", "-o", "huge.zarr"], capsys)
    assert not Path("huge.zarr").exists()


def test_a_zip_store_that_cannot_be_created_names_the_reason(folder, capsys, monkeypatch):
    def refused(*args, **kwargs):
        raise PermissionError(13, "Permission denied", str(args[0]))

    monkeypatch.setattr(zipfile, "ZipFile", refused)  # as in a read-only folder
    error = fails(["compress", "multi.npy", "-o", "multi.zarr.zip"], capsys)
    assert "Permission denied" in error


def test_a_file_that_is_not_npy_is_not_said_to_hold_objects(folder, capsys):
    Path("text.npy").write_text("hello")
    Path("json.npy").write_bytes(Path("multi.zarr/zarr.json").read_bytes())
    for name in ("text.npy", "json.npy"):
        assert "not a .npy file" in fails(["compress", name], capsys)


def test_a_package_missing_at_first_use_is_named(folder, capsys, monkeypatch):
    monkeypatch.setitem(sys.modules, "tqdm", None)  # `import tqdm` now fails
    assert "'tqdm'" in fails(["compress", "multi.npy", "-o", "again.zarr"], capsys)
