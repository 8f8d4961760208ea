"""The module object: its names, doc strings, lazy NumPy import, and that repeated calls,
including failing ones, leak neither references nor memory."""

import gc
import inspect
import os
import subprocess
import sys
import textwrap

import numpy as np
import pytest

import tessarine
from tessarine import TessrCompressionOptions, compress_signal, decompress_signal

COMPRESS_DOC = (
    "Compress a 1-D float32 **or** float64 NumPy array into Tessarine `bytes`.\n\n"
    "float64 input is downcast to float32 before compression (the codec works in\n"
    "f32 internally and always reconstructs f32 on decompress)."
)
DECOMPRESS_DOC = "Decompress a Tessarine bytes object into a 1-D float32 NumPy array."


def run_python(code):
    result = subprocess.run(
        [sys.executable, "-c", textwrap.dedent(code)], capture_output=True, text=True, check=True
    )
    return result.stdout.strip()


def test_public_names_in_order():
    public = [name for name in vars(tessarine) if not name.startswith("_")]
    assert public == ["TessrCompressionOptions", "compress_signal", "decompress_signal"]
    assert tessarine.__doc__ == ""


@pytest.mark.parametrize(
    "callable_, text_signature, doc",
    [
        (TessrCompressionOptions, '(method="cdf97", scale=11, cutoff="low", coder=None)', ""),
        (compress_signal, "(data, options=None)", COMPRESS_DOC),
        (decompress_signal, "(data)", DECOMPRESS_DOC),
    ],
)
def test_doc_strings_and_signatures(callable_, text_signature, doc):
    assert callable_.__text_signature__ == text_signature
    assert callable_.__doc__ == doc
    parameters = inspect.signature(callable_).parameters.values()
    assert all(p.kind is inspect.Parameter.POSITIONAL_OR_KEYWORD for p in parameters)


def test_importing_does_not_import_numpy():
    assert run_python("import sys, tessarine; print('numpy' in sys.modules)") == "False"


def test_without_numpy_options_work_and_calls_raise_import_error():
    output = run_python("""
        import sys
        sys.modules["numpy"] = None  # makes any import of numpy fail
        import tessarine
        tessarine.TessrCompressionOptions(method="db4")
        for call, argument in ((tessarine.compress_signal, [1.0]),
                               (tessarine.decompress_signal, b"")):
            try:
                call(argument)
            except ImportError:
                print("ImportError")
    """)
    assert output.split() == ["ImportError", "ImportError"]


def test_numpy_is_fetched_on_first_use_in_a_fresh_process():
    output = run_python("""
        import tessarine
        import numpy as np
        x = np.sin(np.arange(500, dtype=np.float32) / 9)
        y = tessarine.decompress_signal(tessarine.compress_signal(x))
        print(y.dtype, y.shape[0])
    """)
    assert output == "float32 500"


@pytest.mark.skipif(
    "asan" in os.environ.get("LD_PRELOAD", ""),
    reason="AddressSanitizer reserves more address space than the limit",
)
def test_failed_allocation_becomes_memory_error_and_the_module_stays_usable():
    output = run_python("""
        import resource
        import numpy as np
        import tessarine
        signal = np.full(20_000_000, 0.5)  # float64: its float32 copy needs 80 MB
        small = np.sin(np.arange(1000) / 7.0)
        tessarine.compress_signal(small)
        with open("/proc/self/statm") as statm:
            used = int(statm.read().split()[0]) * 4096
        soft, hard = resource.getrlimit(resource.RLIMIT_AS)
        resource.setrlimit(resource.RLIMIT_AS, (used + 40 * 2**20, hard))
        try:
            tessarine.compress_signal(signal)
        except MemoryError:
            print("MemoryError")
        resource.setrlimit(resource.RLIMIT_AS, (soft, hard))
        print(len(tessarine.decompress_signal(tessarine.compress_signal(small))))
    """)
    assert output.split() == ["MemoryError", "1000"]


def resident_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * 4096


def exercise_every_path(signal, container, options):
    compress_signal(signal, options)
    compress_signal(signal.astype(np.float64))
    decompress_signal(container)
    failing = [
        lambda: compress_signal(signal[::2]),
        lambda: compress_signal(signal[:0]),
        lambda: compress_signal(signal, 5),
        lambda: compress_signal([1.0]),
        lambda: decompress_signal(container[:60]),
        lambda: decompress_signal(bytearray(container)),
        lambda: TessrCompressionOptions(method="nope\n"),
        lambda: TessrCompressionOptions(scale=300),
        lambda: TessrCompressionOptions(scale=1.5),
    ]
    for call in failing:
        try:
            call()
        except (ValueError, TypeError, OverflowError):
            pass
        else:
            raise AssertionError("expected a failure")


@pytest.fixture(scope="module")
def workload():
    signal = (np.sin(np.arange(4000, dtype=np.float32) / 25) * 3).astype(np.float32)
    options = TessrCompressionOptions(method="sym4", scale=10)
    return signal, compress_signal(signal, options), options


def test_reference_counts_are_balanced(workload):
    signal, container, options = workload
    exercise_every_path(signal, container, options)  # first-use setup out of the way
    before = [sys.getrefcount(item) for item in workload]
    for _ in range(1000):
        exercise_every_path(signal, container, options)
    assert [sys.getrefcount(item) for item in workload] == before


def test_memory_does_not_grow_over_many_calls(workload):
    for _ in range(200):
        exercise_every_path(*workload)
    gc.collect()
    start = resident_bytes()
    for _ in range(2000):
        exercise_every_path(*workload)
    gc.collect()
    # Leaking one decoded signal per round would add 32 MB, one container per call 8 MB or more.
    assert resident_bytes() - start < 8 * 2**20
