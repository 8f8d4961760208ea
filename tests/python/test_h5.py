"""The HDF5 filter through h5py, h5dump and h5repack."""

from __future__ import annotations

import os
import shutil
import subprocess
from pathlib import Path

import numpy as np
import pytest

h5py = pytest.importorskip("h5py")
th5 = pytest.importorskip("tessarine_tools.h5")
from tessarine_tools.codec import Tessarine  # noqa: E402

DTYPES = ["f2", "f4", "f8", "i1", "i2", "i4", "i8", "u1", "u2", "u4", "u8", ">f4", ">i2"]
# Shape and chunks: 1-D, 2-D and 3-D, with edge chunks that HDF5 pads.
SHAPES = [((2500,), (1000,)), ((5, 1300), (2, 600)), ((3, 2, 700), (2, 2, 300))]


def signal(shape: tuple[int, ...], dtype: str) -> np.ndarray:
    t = np.arange(int(np.prod(shape)), dtype=np.float64).reshape(shape)
    wave = 40 * np.sin(t / 37.0) + 20 * np.cos(t / 5.0) + 60
    return wave.astype(dtype)


def write(path: Path, data: np.ndarray, chunks: tuple[int, ...], **settings: object) -> None:
    with h5py.File(path, "w") as f:
        f.create_dataset("x", data=data, chunks=chunks, **th5.filter(**settings))


def read(path: Path) -> np.ndarray:
    with h5py.File(path, "r") as f:
        return f["x"][()]


@pytest.mark.parametrize("dtype", DTYPES)
@pytest.mark.parametrize(("shape", "chunks"), SHAPES)
def test_round_trip_within_bound(tmp_path, dtype, shape, chunks):
    data = signal(shape, dtype)
    bound = 0.4 if np.dtype(dtype).kind in "iu" else 0.05
    write(tmp_path / "a.h5", data, chunks, max_error=bound)
    back = read(tmp_path / "a.h5")
    assert back.dtype == data.dtype and back.shape == data.shape
    error = np.abs(back.astype(np.float64) - data.astype(np.float64)).max()
    assert error == 0 if np.dtype(dtype).kind in "iu" else error <= bound


def test_lossless_keeps_every_bit(tmp_path):
    data = signal((3, 900), "f8")
    data[1, 5], data[2, 7], data[0, 0] = np.nan, -np.inf, -0.0
    write(tmp_path / "a.h5", data, (3, 400), lossless=True)
    assert read(tmp_path / "a.h5").tobytes() == data.tobytes()


@pytest.mark.parametrize(
    ("settings", "axis"),
    [({"max_error": 0.01}, -1), ({"rel_error": 1e-3, "psnr": 60}, 1),
     ({"method": "db4", "scale": 9, "coder": "deflate"}, -1), ({"max_error": 0.5}, 0),
     ({"max_error": 0.1}, -3)],
)  # fmt: skip
def test_chunks_are_the_numcodecs_codec_bytes(tmp_path, settings, axis):
    # Three axes, so that lanes along the first or the middle one are gathered across others.
    data = signal((4, 3, 3000) if axis != 0 else (3000, 3, 4), "f4")
    chunks = (2, 3, 3000) if axis != 0 else (3000, 3, 2)
    write(tmp_path / "a.h5", data, chunks, axis=axis, **settings)
    plain = {"plain": True} if "method" in settings else {}
    codec = Tessarine(**settings, **plain, joint=False)  # one frame per lane, as the filter
    with h5py.File(tmp_path / "a.h5", "r") as f:
        for region in f["x"].iter_chunks():
            _, stored = f["x"].id.read_direct_chunk(tuple(s.start for s in region))
            moved = np.moveaxis(data[region], axis, -1)
            assert stored == codec.encode(moved)
            decoded = np.asarray(codec.decode(stored)).reshape(moved.shape)
            np.testing.assert_array_equal(f["x"][region], np.moveaxis(decoded, -1, axis))


@pytest.mark.parametrize(
    "settings", [{"max_error": 0.02}, {"lossless": True}, {"psnr": 50, "rel_error": 1e-2}]
)
def test_parallel_write_and_read_match_the_filter(tmp_path, settings):
    data = signal((5, 2300), "f4")  # edge chunks on both axes
    with h5py.File(tmp_path / "a.h5", "w") as f:
        by_filter = f.create_dataset("f", data=data, chunks=(2, 1000), **th5.filter(**settings))
        by_threads = f.create_dataset("t", shape=data.shape, dtype=data.dtype, chunks=(2, 1000),
                                      **th5.filter(**settings))  # fmt: skip
        th5.write(by_threads, data, threads=3)
        for region in by_filter.iter_chunks():
            offset = tuple(s.start for s in region)
            assert by_threads.id.read_direct_chunk(offset) == by_filter.id.read_direct_chunk(offset)
        np.testing.assert_array_equal(th5.read(by_filter, threads=3), by_filter[()])
        empty = f.create_dataset("e", shape=(3, 10), dtype="i2", chunks=(1, 10), fillvalue=7,
                                 **th5.filter(max_error=1))  # fmt: skip
        np.testing.assert_array_equal(th5.read(empty), np.full((3, 10), 7, "i2"))


@pytest.mark.parametrize(
    ("dtype", "settings", "message"),
    [
        (
            "S4",
            {"max_error": 1.0},
            "tessarine filter accepts float16, float32, float64 and 1 to 8 byte integers",
        ),
        ([("a", "f4"), ("b", "i2")], {"max_error": 1.0}, "tessarine filter accepts"),
        ("f8", {"method": "cdf97"}, "(wavelet containers: float32 only)"),
        (
            "f4",
            {"max_error": 1.0, "axis": 1},
            "tessarine filter axis is not an axis of the dataset",
        ),
    ],
)
def test_settings_it_cannot_carry_fail_at_creation(tmp_path, dtype, settings, message):
    with (
        h5py.File(tmp_path / "a.h5", "w") as f,
        pytest.raises(ValueError, match=message.replace("(", r"\(").replace(")", r"\)")),
    ):
        f.create_dataset("x", shape=(100,), dtype=dtype, chunks=(50,), **th5.filter(**settings))


def test_filter_refuses_settings_it_cannot_store():
    with pytest.raises(
        ValueError, match="the HDF5 filter codes bounds with the predictive coder only"
    ):
        th5.filter(max_error=0.1, method="db4")
    with pytest.raises(ValueError, match="max_error must be a positive finite number"):
        th5.filter(max_error=-1)
    with pytest.raises(ValueError, match="axis must be an integer from -32 to 31, got 40"):
        th5.filter(max_error=1, axis=40)


def test_corrupt_chunk_raises(tmp_path):
    data = signal((4000,), "f4")
    write(tmp_path / "a.h5", data, (1000,), max_error=0.01)
    with h5py.File(tmp_path / "a.h5", "r") as f:
        info = f["x"].id.get_chunk_info(1)
    raw = bytearray((tmp_path / "a.h5").read_bytes())
    raw[info.byte_offset + info.size // 2] ^= 0x40
    (tmp_path / "a.h5").write_bytes(bytes(raw))
    with h5py.File(tmp_path / "a.h5", "r") as f:
        np.testing.assert_allclose(f["x"][:1000], data[:1000], atol=0.01)  # other chunks still read
        with pytest.raises(OSError, match="filter returned failure during read"):
            f["x"][1000:2000]


def test_plugin_path_reaches_child_processes():
    assert th5.PLUGIN_PATH in os.environ["HDF5_PLUGIN_PATH"].split(os.pathsep)
    assert any(Path(th5.PLUGIN_PATH).glob("libh5tessarine*.so"))


needs_tools = pytest.mark.skipif(
    not (shutil.which("h5dump") and shutil.which("h5repack")), reason="hdf5-tools not installed"
)


@needs_tools
def test_h5dump_reads_with_the_plugin_path(tmp_path):
    data = signal((2, 50), "i2")
    write(tmp_path / "a.h5", data, (1, 50), max_error=0.4)
    out = subprocess.run(
        ["h5dump", "-d", "x", "-y", "-w", "0", str(tmp_path / "a.h5")],
        capture_output=True, text=True, check=True,
        env={**os.environ, "HDF5_PLUGIN_PATH": th5.PLUGIN_PATH},
    )  # fmt: skip
    body = out.stdout.split("DATA {")[1].split("}")[0]
    assert [int(v) for v in body.replace(",", " ").split()] == data.ravel().tolist()
    assert (
        "FILTER_ID 386"
        in subprocess.run(
            ["h5dump", "-p", "-H", str(tmp_path / "a.h5")],
            capture_output=True,
            text=True,
            check=True,
        ).stdout
    )


@needs_tools
def test_h5repack_applies_and_removes_the_filter(tmp_path):
    data = signal((3, 2000), "f4")
    with h5py.File(tmp_path / "plain.h5", "w") as f:
        f.create_dataset("x", data=data, chunks=(1, 1000))
    values = ",".join(str(v) for v in th5.filter(max_error=0.01)["compression_opts"])
    env = {**os.environ, "HDF5_PLUGIN_PATH": th5.PLUGIN_PATH}
    subprocess.run(
        ["h5repack", "-f", f"UD=386,0,10,{values}", str(tmp_path / "plain.h5"), str(tmp_path / "packed.h5")],
        check=True, env=env,
    )  # fmt: skip
    with h5py.File(tmp_path / "packed.h5", "r") as f:
        assert "386" in f["x"]._filters
        assert np.abs(f["x"][()] - data).max() <= 0.01
        assert f["x"].id.get_storage_size() < data.nbytes / 3
    subprocess.run(
        ["h5repack", "-f", "NONE", str(tmp_path / "packed.h5"), str(tmp_path / "back.h5")],
        check=True, env=env,
    )  # fmt: skip
    with h5py.File(tmp_path / "back.h5", "r") as f:
        assert f["x"]._filters == {}
        assert np.abs(f["x"][()] - data).max() <= 0.01


def test_nwb_example_writes_and_reads_back(capsys):
    pytest.importorskip("pynwb")
    import runpy

    example = Path(__file__).resolve().parents[2] / "examples" / "nwb_ecephys.py"
    with pytest.warns(UserWarning, match="386 compression may not be available"):  # hdmf's note
        runpy.run_path(str(example), run_name="__main__")  # asserts the bound itself
    assert "samples x 8 channels, ratio" in capsys.readouterr().out


def test_recompress_keeps_the_file_and_describe_lists_it(tmp_path):
    data = signal((3, 5000), "f4")
    with h5py.File(tmp_path / "in.h5", "w") as f:
        f.attrs["subject"] = "x1"
        group = f.create_group("session")
        group.attrs["rate"] = 360
        f.create_dataset("session/ecg", data=data).attrs["unit"] = "mV"
        f.create_dataset("session/labels", data=np.array([b"N", b"V"]))
        f.create_dataset("session/events", data=np.arange(7, dtype="i8"))
    done = th5.recompress(tmp_path / "in.h5", tmp_path / "out.h5", max_error=0.01)
    assert done == ["session/ecg", "session/events"]
    with h5py.File(tmp_path / "out.h5", "r") as f:
        assert f.attrs["subject"] == "x1" and f["session"].attrs["rate"] == 360
        assert f["session/ecg"].attrs["unit"] == "mV"
        assert np.abs(f["session/ecg"][()] - data).max() <= 0.01
        assert f["session/labels"][()].tolist() == [b"N", b"V"]
        assert f["session/events"][()].tolist() == list(range(7))
    rows = {row["name"]: row for row in th5.describe(tmp_path / "out.h5")}
    assert rows["session/ecg"]["filters"] == ["tessarine"] and rows["session/ecg"]["ratio"] > 5
    assert rows["session/labels"]["filters"] == [] and not list(tmp_path.glob(".*partial"))


def test_parallel_write_inside_visititems_does_not_deadlock(tmp_path):
    import threading

    data = signal((4, 3000), "f4")
    with h5py.File(tmp_path / "a.h5", "w") as f:
        f.create_dataset(
            "x", shape=data.shape, dtype="f4", chunks=(1, 1000), **th5.filter(max_error=0.1)
        )
        # visititems holds h5py's lock while its callback runs; the workers must not need it.
        worker = threading.Thread(target=f.visititems,
                                  args=(lambda name, obj: th5.write(obj, data, threads=2),))  # fmt: skip
        worker.start()
        worker.join(timeout=60)
        assert not worker.is_alive()
        assert np.abs(th5.read(f["x"]) - data).max() <= 0.1
