"""The real command in a child process: signals arrive mid-write, a read-only folder and a full
file system refuse the output; each ends in one line, its exit status, and nothing left behind."""

import signal
import subprocess
import sys
import textwrap
import time

import numpy as np
import pytest

# The real command, with each chunk's compression slowed so a signal lands mid-write.
SLOWED = textwrap.dedent("""
    import sys, time
    import tessarine_tools, tessarine_tools.codec
    from tessarine_tools.cli import main, store
    real = tessarine_tools.compress
    def slow(*args, **kwargs):
        time.sleep(0.05)
        return real(*args, **kwargs)
    tessarine_tools.compress = tessarine_tools.codec.compress = slow
    store.BLOCK = 1000
    sys.exit(main(sys.argv[1:]))
""")


def listing(folder):
    return sorted(str(p.relative_to(folder)) for p in folder.rglob("*"))


@pytest.fixture
def folder(tmp_path):
    np.save(tmp_path / "two.npy", np.sin(np.arange(40000) / 9.0).reshape(2, -1))
    return tmp_path


@pytest.mark.parametrize("output", ["two.zarr", "two.zarr.zip"])
@pytest.mark.parametrize(
    "number, status", [(signal.SIGTERM, 143), (signal.SIGHUP, 129), (signal.SIGINT, 130)]
)
def test_a_signal_mid_write_leaves_nothing(folder, output, number, status):
    before = listing(folder)
    child = subprocess.Popen(
        [sys.executable, "-c", SLOWED, "compress", "two.npy", "-o", output],
        cwd=folder,
        stderr=subprocess.PIPE,
        text=True,
    )
    deadline = time.monotonic() + 30
    while not any(folder.glob(f".{output}.partial-*")) and time.monotonic() < deadline:
        time.sleep(0.01)
    assert child.poll() is None, "the command ended before it was signalled"
    time.sleep(0.1)  # a few chunks written
    child.send_signal(number)
    _, err = child.communicate(timeout=30)
    assert child.returncode == status and err.count("\n") == 1 and "no output written" in err
    assert listing(folder) == before


@pytest.fixture
def mounted(tmp_path):
    """A small tmpfs of our own; needs the right to mount, else the test is skipped."""

    def mount(options):
        point = tmp_path / "mnt"
        point.mkdir()
        made = subprocess.run(
            ["mount", "-t", "tmpfs", "-o", options, "tmpfs", str(point)], capture_output=True
        )
        if made.returncode != 0:
            pytest.skip("this runner cannot mount a tmpfs (needs root)")
        mounted.points.append(point)
        return point

    mounted.points = []
    yield mount
    for point in mounted.points:
        subprocess.run(["umount", str(point)], check=False)


def run(folder, *argv):
    return subprocess.run(
        [sys.executable, "-m", "tessarine_tools.cli", *argv],
        cwd=folder,
        capture_output=True,
        text=True,
    )


@pytest.mark.parametrize("output", ["x.tsrn", "x.zarr", "x.zarr.zip"])
def test_a_full_file_system_refuses_the_output(folder, mounted, output):
    full = mounted("size=64k")
    np.save(folder / "noise.npy", np.random.default_rng(1).normal(size=200000))
    done = run(folder, "compress", "noise.npy", "-o", str(full / output), "--max-error", "1e-6")
    assert done.returncode == 1 and done.stderr.count("\n") == 1
    assert "No space left on device" in done.stderr and not any(full.iterdir())


@pytest.mark.parametrize("output", ["x.zarr.zip", "x.zarr", "x.npy"])
def test_a_read_only_folder_refuses_the_output(folder, mounted, output):
    locked = mounted("ro,size=64k")  # read-only even for root, unlike a chmod
    command = "decompress" if output.endswith(".npy") else "compress"
    if command == "decompress":
        assert run(folder, "compress", "two.npy", "-o", "two.zarr").returncode == 0
    done = run(
        folder,
        command,
        "two.zarr" if command == "decompress" else "two.npy",
        "-o",
        str(locked / output),
    )
    assert done.returncode == 1 and done.stderr.count("\n") == 1
    assert "Read-only file system" in done.stderr and not any(locked.iterdir())
