"""An NWB file whose ElectricalSeries is compressed by the tessarine HDF5 filter.

    pip install pynwb
    python examples/nwb_ecephys.py            # writes into a scratch folder, prints the ratio

NWB stores extracellular data as (time, channels), so the filter runs its lanes along axis 0:
each channel is coded on its own, to within max_error, in chunks of 2^14 samples by 4
channels. Any NWB reader with the plugin on HDF5_PLUGIN_PATH (tessarine_tools.h5.PLUGIN_PATH)
reads the file; pynwb finds it once tessarine_tools.h5 is imported.
"""

from __future__ import annotations

import tempfile
from datetime import datetime, timezone
from pathlib import Path

import numpy as np
from hdmf.backends.hdf5.h5_utils import H5DataIO
from pynwb import NWBHDF5IO, NWBFile
from pynwb.ecephys import ElectricalSeries

import tessarine_tools.h5 as th5

ECG = Path(__file__).resolve().parent / "data" / "ecg_mitbih100_mlii_60s.npy"
CHANNELS = 8
MAX_ERROR = 0.005  # millivolts: one step of the recorder's converter


def recording() -> np.ndarray:
    """(time, channels) in mV: the shipped ECG, each channel shifted in time and scaled."""
    ecg = np.load(ECG).astype(np.float32)
    return np.stack([np.roll(ecg, 360 * c) * (1 - 0.05 * c) for c in range(CHANNELS)], axis=1)


def write(path: Path, data: np.ndarray) -> None:
    nwb = NWBFile(session_description="tessarine filter example", identifier="tessarine-example",
                  session_start_time=datetime(2026, 1, 1, tzinfo=timezone.utc))  # fmt: skip
    device = nwb.create_device(name="recorder")
    group = nwb.create_electrode_group(name="leads", description="ECG leads", location="chest",
                                       device=device)  # fmt: skip
    for _ in range(CHANNELS):
        nwb.add_electrode(group=group, location="chest")
    electrodes = nwb.create_electrode_table_region(list(range(CHANNELS)), "every lead")
    # hdmf takes filters outside HDF5's own only when asked to.
    compressed = H5DataIO(data, chunks=(1 << 14, 4), allow_plugin_filters=True,
                          **th5.filter(max_error=MAX_ERROR, axis=0))  # fmt: skip
    nwb.add_acquisition(ElectricalSeries(name="ecg", data=compressed, electrodes=electrodes,
                                         rate=360.0, conversion=1e-3))  # fmt: skip
    with NWBHDF5IO(str(path), "w") as io:
        io.write(nwb)


def main() -> None:
    data = recording()
    path = Path(tempfile.mkdtemp()) / "ecg.nwb"
    write(path, data)
    with NWBHDF5IO(str(path), "r") as io:
        series = io.read().acquisition["ecg"]
        back = series.data[:]
        stored = series.data.id.get_storage_size()
    error = float(np.abs(back - data).max())
    assert back.shape == data.shape and error <= MAX_ERROR
    print(f"{path}: {data.shape[0]} samples x {data.shape[1]} channels, "
          f"ratio {data.nbytes / stored:.2f}, largest error {error:.4g} mV")  # fmt: skip


if __name__ == "__main__":
    main()
