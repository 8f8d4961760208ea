"""Peak memory and first-call cost of compress_signal and decompress_signal.

Every measurement runs in a fresh Python process, as a one-shot user (the command line, a
worker process) would. Several builds of the module can be compared in one run: the
measurements alternate between them and the table gives medians.

    python bench/memory_first_call.py                      # the installed module
    python bench/memory_first_call.py --module before=DIR --module after=DIR2
    python bench/memory_first_call.py --method db4               # another transform

Wall times on a shared machine wander; CPU times (user + system) show what the call itself
costs. Growth is the peak resident size minus the size just before the first call (input
loaded), so it counts the output too; the peak is reset before the call where the kernel allows
it (/proc/self/clear_refs), since making the test signal peaks higher than some calls. The signal is the shipped example ECG repeated to the requested length, with a little
seeded noise (about one step of its converter) so that no two repeats are alike.
"""

from __future__ import annotations

import argparse
import json
import os
import statistics
import subprocess
import sys
import tempfile
from pathlib import Path

REPO = Path(__file__).resolve().parent.parent
# NumPy's BLAS threads spin for a while after an array operation, and process CPU time would
# count them against the call that follows.
QUIET_NUMPY = {**os.environ, "OPENBLAS_NUM_THREADS": "1", "OMP_NUM_THREADS": "1"}
EXAMPLE = REPO / "examples" / "data" / "ecg_mitbih100_mlii_60s.npy"

# Runs in the child: prints one JSON object.
CHILD = r"""
import json, os, resource, sys, time
module_dir, mode, n, example, container_path, later, method = sys.argv[1:8]
if module_dir:
    sys.path.insert(0, module_dir)
import numpy as np
import tessarine
SIGNAL

def rss_bytes():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")

def reset_peak():
    # Making the signal peaks above the call itself (float64 noise), so the peak is reset
    # where the kernel allows it; the lifetime peak is the fallback.
    try:
        with open("/proc/self/clear_refs", "w") as f:
            f.write("5")
        return True
    except OSError:
        return False

def peak_bytes(reset):
    if reset:
        with open("/proc/self/status") as f:
            for line in f:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1]) * 1024
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024

if mode == "compress":
    data = signal(example, int(n))
    options = tessarine.TessrCompressionOptions(method=method)
    call = lambda: tessarine.compress_signal(data, options)
else:
    with open(container_path, "rb") as f:
        data = f.read()
    call = lambda: tessarine.decompress_signal(data)
def timed():
    faults = resource.getrusage(resource.RUSAGE_SELF).ru_minflt
    wall, cpu = time.perf_counter(), time.process_time()
    out = call()
    wall, cpu = time.perf_counter() - wall, time.process_time() - cpu
    faults = resource.getrusage(resource.RUSAGE_SELF).ru_minflt - faults
    del out
    return wall, cpu, faults

reset = reset_peak()
before = rss_bytes()
first = timed()
peak = peak_bytes(reset)
later = sorted(timed() for _ in range(int(later)))[int(later) // 2]
print(json.dumps({"first": first[0], "later": later[0], "first_cpu": first[1],
                  "later_cpu": later[1], "first_faults": first[2], "later_faults": later[2],
                  "before": before, "peak": peak}))
"""


SIGNAL = r"""
def signal(example, n):
    base = np.resize(np.load(example).astype(np.float32), n)
    noise = np.random.default_rng(17).normal(0.0, 0.005, n).astype(np.float32)
    return base + noise
"""
CHILD = CHILD.replace("SIGNAL", SIGNAL)


def run_child(module_dir: str, mode: str, n: int, container: str, later: int, method: str) -> dict:
    args = [
        sys.executable,
        "-c",
        CHILD,
        module_dir,
        mode,
        str(n),
        str(EXAMPLE),
        container,
        str(later),
        method,
    ]
    done = subprocess.run(args, capture_output=True, text=True, check=True, env=QUIET_NUMPY)
    return json.loads(done.stdout)


def write_container(module_dir: str, n: int, path: str, method: str) -> None:
    code = (
        "import sys; sys.path.insert(0, sys.argv[1]) if sys.argv[1] else None\n"
        "import numpy as np, tessarine\n" + SIGNAL + "x = signal(sys.argv[2], int(sys.argv[3]))\n"
        "options = tessarine.TessrCompressionOptions(method=sys.argv[5])\n"
        "open(sys.argv[4], 'wb').write(tessarine.compress_signal(x, options))\n"
    )
    subprocess.run(
        [sys.executable, "-c", code, module_dir, str(EXAMPLE), str(n), path, method], check=True
    )


def parse_module(text: str) -> tuple[str, str]:
    label, _, path = text.partition("=")
    if not path:
        raise argparse.ArgumentTypeError("expected LABEL=DIR")
    return label, str(Path(path).resolve())


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument(
        "--module",
        action="append",
        type=parse_module,
        default=[],
        help="LABEL=DIR holding a built tessarine module (repeatable)",
    )
    parser.add_argument("--sizes", type=int, nargs="+", default=[1_000_000, 10_000_000])
    parser.add_argument("--repeats", type=int, default=3, help="fresh processes per setting")
    parser.add_argument("--later", type=int, default=4, help="calls after the first")
    parser.add_argument("--method", default="cdf97", choices=["cdf97", "cdf53", "db4", "sym4"])
    args = parser.parse_args()
    modules = args.module or [("installed", "")]
    mib = 1 << 20
    print(
        "| build | samples | call | first s | later s | first/later | later CPU s | first/later CPU "
        "| page faults first/later | peak RSS MiB | growth MiB | growth / input |"
    )
    print("|---|---|---|---|---|---|---|---|---|---|---|---|")
    with tempfile.TemporaryDirectory() as tmp:
        for n in args.sizes:
            containers = {}
            for label, path in modules:
                containers[label] = os.path.join(tmp, f"{label}_{n}.tsr")
                write_container(path, n, containers[label], args.method)
            for mode in ("compress", "decompress"):
                runs = {label: [] for label, _ in modules}
                for _ in range(args.repeats):
                    for label, path in modules:
                        runs[label].append(
                            run_child(path, mode, n, containers[label], args.later, args.method)
                        )
                for label, _ in modules:
                    med = {k: statistics.median(r[k] for r in runs[label]) for k in runs[label][0]}
                    growth = med["peak"] - med["before"]
                    print(
                        f"| {label} | {n:,} | {mode} | {med['first']:.3f} | {med['later']:.3f} "
                        f"| {med['first'] / med['later']:.2f} "
                        f"| {med['later_cpu']:.3f} | {med['first_cpu'] / med['later_cpu']:.2f} "
                        f"| {med['first_faults']:.0f} / {med['later_faults']:.0f} "
                        f"| {med['peak'] / mib:.0f} | {growth / mib:.0f} "
                        f"| {growth / (4 * n):.2f} |",
                        flush=True,
                    )


if __name__ == "__main__":
    main()
