"""Compress 60 s of a real ECG with every wavelet and show what each one costs and keeps.

    pip install . && python examples/demo.py
"""

import time
from pathlib import Path

import numpy as np

import tessarine

SIGNAL = Path(__file__).resolve().parent / "data" / "ecg_mitbih100_mlii_60s.npy"
METHODS = ("cdf97", "cdf53", "db4", "sym4")


def fastest(call, repeats=7):
    """The result of `call` and its shortest run time in seconds."""
    best = float("inf")
    for _ in range(repeats):
        start = time.perf_counter()
        result = call()
        best = min(best, time.perf_counter() - start)
    return result, best


def snr_db(original, decoded):
    """Energy of the signal around its mean over the energy of the reconstruction error."""
    error = original.astype(np.float64) - decoded
    centred = original - original.mean(dtype=np.float64)
    return 10 * np.log10(np.sum(centred**2) / np.sum(error**2))


signal = np.load(SIGNAL)
megabytes = signal.nbytes / 1e6
print(f"{SIGNAL.name}: {signal.size} float32 samples ({signal.nbytes} bytes), "
      "default options (scale 11, cutoff low, coder auto)\n")
print(f"{'method':<7}{'bytes':>8}{'ratio':>8}{'SNR dB':>9}{'max err mV':>12}"
      f"{'compress MB/s':>15}{'decompress MB/s':>17}")
for method in METHODS:
    options = tessarine.TessrCompressionOptions(method=method)
    packed, compress_s = fastest(lambda: tessarine.compress_signal(signal, options))
    decoded, decompress_s = fastest(lambda: tessarine.decompress_signal(packed))
    max_error = np.max(np.abs(signal - decoded))
    print(f"{method:<7}{len(packed):>8}{signal.nbytes / len(packed):>8.1f}"
          f"{snr_db(signal, decoded):>9.1f}{max_error:>12.4f}"
          f"{megabytes / compress_s:>15.1f}{megabytes / decompress_s:>17.1f}")
print("\nSpeeds count input samples as float32 bytes; best of 7 runs.")
