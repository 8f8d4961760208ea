#!/usr/bin/env python3
"""Writes the golden forward coefficients of the orthogonal filter banks, computed by PyWavelets.

For every Daubechies order 1..24 and Symlet order 2..20, every border mode and a handful of
signal lengths, pywt.dwt (in float64) gives the approximation and detail bands of the signal
below. tests/cpp/filterbank_oracle_test.cpp regenerates the same signal and compares.

Correspondences (checked against PyWavelets while writing this script):
  BorderMode   pywt mode
  Constant     zero
  Clamp        constant
  Wrap         periodic
  Reflect      symmetric
  Reflect101   reflect
Our low-pass taps h are pywt's rec_lo (dec_lo reversed) and our high-pass taps
g[k] = (-1)^k h[N-1-k] are pywt's rec_hi, so both bands equal pywt's cA and cD element for
element: same length floor((n + N - 1) / 2), same order, same sign.

Outputs:
  tests/data/filterbank_oracle_index.txt  one line per case: family order mode n m offset
  tests/data/filterbank_oracle.f32        little-endian float32: per case, m approximation
                                          coefficients then m detail coefficients, at `offset`
                                          (counted in floats)

Usage: python3 scripts/gen_filterbank_reference.py
"""

from pathlib import Path

import numpy as np
import pywt

MODES = {
    "Constant": "zero",
    "Clamp": "constant",
    "Wrap": "periodic",
    "Reflect": "symmetric",
    "Reflect101": "reflect",
}
FAMILIES = [("db", range(1, 25)), ("sym", range(2, 21))]


def test_signal(n):
    """Multiples of 1/256 in [-3.91, 3.91] from a 31-bit LCG: exact in float32 on both sides."""
    state = 20240613
    out = np.empty(n, dtype=np.float64)
    for t in range(n):
        state = (state * 1103515245 + 12345) % (1 << 31)
        out[t] = ((state >> 8) % 2001 - 1000) / 256.0
    return out


def lengths(taps):
    """n = N and N + 1 (the shortest inputs), a short even and odd one, and a few hundred."""
    return [taps, taps + 1, taps + 6, 2 * taps + 3, 256, 301]


def main():
    data_dir = Path(__file__).resolve().parent.parent / "tests" / "data"
    index_lines = []
    chunks = []
    offset = 0
    for family, orders in FAMILIES:
        for order in orders:
            wavelet = pywt.Wavelet(f"{family}{order}")
            taps = wavelet.dec_len
            for mode, pywt_mode in MODES.items():
                for n in lengths(taps):
                    approx, details = pywt.dwt(test_signal(n), wavelet, mode=pywt_mode)
                    m = len(approx)
                    assert m == (n + taps - 1) // 2 and len(details) == m
                    index_lines.append(f"{family} {order} {mode} {n} {m} {offset}")
                    chunks.append(np.concatenate([approx, details]).astype("<f4"))
                    offset += 2 * m
    (data_dir / "filterbank_oracle_index.txt").write_text("\n".join(index_lines) + "\n")
    np.concatenate(chunks).tofile(data_dir / "filterbank_oracle.f32")


if __name__ == "__main__":
    main()
