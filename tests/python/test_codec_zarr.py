"""The codec inside zarr (format 3 serializer, format 2 compressor) and dask, across stores."""

import subprocess
import sys
import warnings

import dask
import dask.array as da
import numpy as np
import pytest
import zarr

from tessarine_tools.codec import Tessarine
from tessarine_tools.zarr3 import TessarineCodec

BOUND = 0.01
ATTRS = {"sample_rate": 360.0, "channel_names": ["a", "b", "c"]}


@pytest.fixture
def data():
    t = np.arange(5000)
    return np.stack([np.sin(t / k) for k in (7.0, 19.0, 50.0)]).astype(np.float32)


def open_store(kind, tmp_path, mode):
    if kind == "memory":
        return zarr.storage.MemoryStore()
    if kind == "zip":
        return zarr.storage.ZipStore(tmp_path / "s.zarr.zip", mode=mode)
    return zarr.storage.LocalStore(tmp_path / "s.zarr", read_only=mode == "r")


@pytest.mark.parametrize("kind", ["memory", "local", "zip"])
@pytest.mark.parametrize("zarr_format", [2, 3])
def test_round_trip_in_each_store(kind, zarr_format, data, tmp_path):
    store = open_store(kind, tmp_path, "w")
    codec = {
        3: {"serializer": TessarineCodec(max_error=BOUND), "compressors": None},
        2: {"compressors": Tessarine(max_error=BOUND)},
    }[zarr_format]
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")  # format 2 warns that the codec is not in its registry
        array = zarr.create_array(
            store,
            shape=data.shape,
            chunks=(1, 1200),
            dtype=data.dtype,
            zarr_format=zarr_format,
            attributes=ATTRS,
            **codec,
        )
    array[:] = data
    if kind != "memory":
        store.close()
        store = open_store(kind, tmp_path, "r")
    back = zarr.open_array(store, mode="r")
    assert back.dtype == data.dtype and dict(back.attrs) == ATTRS
    assert np.max(np.abs(back[:] - data)) <= BOUND
    assert np.max(np.abs(back[1, 1000:1300] - data[1, 1000:1300])) <= BOUND


def test_store_reopens_in_a_fresh_process(data, tmp_path):
    array = zarr.create_array(
        tmp_path / "s.zarr",
        shape=data.shape,
        dtype=data.dtype,
        serializer=TessarineCodec(psnr=60.0),
        compressors=None,
    )
    array[:] = data
    code = (
        f"import zarr, numpy as np; a = zarr.open_array({str(tmp_path / 's.zarr')!r}); "
        "print(a.metadata.codecs[0].to_dict()['name'], a.dtype, a[:].shape)"
    )
    result = subprocess.run(
        [sys.executable, "-c", code], capture_output=True, text=True, timeout=120
    )
    assert result.stdout.split() == ["tessarine", "float32", "(3,", "5000)"], result.stderr


@pytest.mark.parametrize("dtype", ["float64", "int16"])
def test_dask_round_trip_keeps_dtype_shape_and_bound(dtype, data, tmp_path):
    source = da.from_array((data * 1000).astype(dtype), chunks=(1, 1024))
    with dask.config.set(scheduler="threads", num_workers=2):
        da.to_zarr(
            source,
            str(tmp_path / "d.zarr"),
            serializer=TessarineCodec(max_error=0.4),
            compressors=None,
            attributes=ATTRS,
        )
        back = da.from_zarr(str(tmp_path / "d.zarr")).compute()
    assert back.dtype == dtype and back.shape == data.shape
    assert np.max(np.abs(back - source.compute())) <= 0.4


def test_non_numeric_arrays_are_refused():
    with pytest.raises(ValueError, match="real numbers"):
        zarr.create_array(
            zarr.storage.MemoryStore(),
            shape=(4,),
            dtype="bool",
            serializer=TessarineCodec(),
            compressors=None,
        )
