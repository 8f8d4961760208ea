"""examples/c/roundtrip.c built against an installed libtessarine only (header, library, .pc).

TESSARINE_C_PREFIX names the prefix of a `cmake --install`; scripts/run_tests.sh sets it.
"""

from __future__ import annotations

import os
import shutil
import subprocess
from pathlib import Path

import numpy as np
import pytest

import tessarine_tools as tt

PREFIX = os.environ.get("TESSARINE_C_PREFIX")
EXAMPLE = Path(__file__).resolve().parents[2] / "examples" / "c" / "roundtrip.c"

pytestmark = pytest.mark.skipif(
    not PREFIX or not shutil.which("cc") or not shutil.which("pkg-config"),
    reason="set TESSARINE_C_PREFIX to an installed libtessarine (needs cc and pkg-config)",
)


def pkg_config(*flags: str) -> list[str]:
    env = {**os.environ, "PKG_CONFIG_PATH": str(Path(PREFIX, "lib", "pkgconfig"))}
    out = subprocess.run(["pkg-config", *flags, "tessarine"], env=env, check=True,
                         capture_output=True, text=True)  # fmt: skip
    return out.stdout.split()


@pytest.fixture(scope="module", params=["shared", "static"])
def program(request, tmp_path_factory) -> Path:
    exe = tmp_path_factory.mktemp(request.param) / "roundtrip"
    if request.param == "static":
        # The archive first, then what it needs, so no shared libtessarine is picked up.
        libs = [str(Path(PREFIX, "lib", "libtessarine.a")), *pkg_config("--static", "--libs")[2:]]
    else:
        libs = [*pkg_config("--libs"), f"-Wl,-rpath,{Path(PREFIX, 'lib')}"]
    subprocess.run(["cc", "-std=c99", "-Wall", "-Werror", str(EXAMPLE), *pkg_config("--cflags"),
                    *libs, "-o", str(exe)], check=True)  # fmt: skip
    return exe


@pytest.mark.parametrize(
    ("dtype", "bound"),
    [("float32", {"max_error": 1e-3}), ("int16", {"max_error": 2}), ("float64", {"psnr": 70})],
)
def test_c_decodes_python_and_python_decodes_c(program, tmp_path, dtype, bound):
    t = np.arange(30_000)
    samples = (300 * np.sin(t / 40.0) + 17 * np.sin(t / 3.1)).astype(dtype)
    (tmp_path / "in.tsrn").write_bytes(tt.compress(samples, **bound))
    subprocess.run([str(program), tmp_path / "in.tsrn", tmp_path / "out.tsrn", tmp_path / "dec.raw"],
                   check=True, capture_output=True)  # fmt: skip
    decoded = tt.decompress((tmp_path / "in.tsrn").read_bytes())
    assert (tmp_path / "dec.raw").read_bytes() == decoded.tobytes()
    # The C library codes the same samples to the same bytes as the Python package.
    written = (tmp_path / "out.tsrn").read_bytes()
    assert written == tt.compress(decoded, **bound)


def test_c_refuses_damage_and_frames_it_cannot_decode(program, tmp_path):
    frame = bytearray(tt.compress(np.arange(5000, dtype=np.float32), max_error=0.1))
    frame[100] ^= 1
    channels = tt.compress(np.zeros((2, 100), np.int16), max_error=0.4)
    cases = [(bytes(frame), "reading the frame: data is damaged or not a frame or container ("),
             (channels, "decoding: data is readable but not supported by this library "
                        "(multichannel frames are read by the Python package only)")]  # fmt: skip
    for data, message in cases:
        (tmp_path / "in.tsrn").write_bytes(data)
        run = subprocess.run([str(program), tmp_path / "in.tsrn", tmp_path / "out.tsrn"],
                             capture_output=True, text=True)  # fmt: skip
        assert run.returncode == 1
        assert run.stderr.startswith(message)
