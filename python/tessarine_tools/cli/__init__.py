"""The `tessarine` command: compress, decompress, info and bench over files and zarr stores.

User errors end as one line on stderr: exit 2 for usage, 1 for unreadable or invalid data,
130 when interrupted (128 + the signal's number for SIGTERM and SIGHUP). Outputs are written under a temporary name and renamed when complete.
"""

from __future__ import annotations

import contextlib
import importlib
import os
import signal
import sys
from collections.abc import Iterator, Sequence

from tessarine_tools.cli.errors import CliError

INTERRUPTED = 130
_EXTRA = ("numcodecs", "soundfile", "tqdm")  # zarr is imported where first used: it is slow


def main(argv: Sequence[str] | None = None) -> int:
    """Run the ``tessarine`` command; the console script calls it with no arguments.

    Parameters
    ----------
    argv : sequence of str, optional
        The arguments after the program's name; ``sys.argv[1:]`` when not given.

    Returns
    -------
    int
        The exit status: 0 done, 1 unreadable or invalid data or an output that cannot be
        written, 2 a usage error, 130 interrupted, 128 + the signal's number on SIGTERM or
        SIGHUP. Every failure prints one line on stderr and leaves no output behind.

    Examples
    --------
    >>> from tessarine_tools.cli import main
    >>> main(["info", "no-such-file.tsrn"])
    1
    """
    try:
        # The command's file formats (zarr, WAV, progress bars) come with the `cli` extra:
        # a missing one is named before any work, not after it.
        for name in _EXTRA:
            importlib.import_module(name)
        from tessarine_tools.cli.parser import build_parser
    except ModuleNotFoundError as error:
        return _missing(error)
    parser = build_parser()
    try:
        args = parser.parse_args(argv)
    except SystemExit as ended:  # a usage error (2, one line on stderr) or --help (0)
        return int(ended.code or 0)
    try:
        with _cleanup_on_termination():
            print(args.run(args))
    except CliError as error:
        return _fail(str(error), error.status)
    except KeyboardInterrupt:
        return _fail("interrupted; no output written", INTERRUPTED)
    except _Terminated as ended:
        return _fail("terminated; no output written", 128 + ended.signal)
    except BrokenPipeError:
        # The reader went away (`tessarine bench x | head`): nothing to say, and nowhere to say it.
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return 1
    except OSError as error:
        where = f"{error.filename}: " if error.filename else ""
        return _fail(f"{where}{error.strerror or error}", 1)
    except MemoryError:
        return _fail("not enough memory for this input", 1)
    except ModuleNotFoundError as error:  # the extra's packages are imported where first used
        return _missing(error)
    return 0


def _missing(error: ModuleNotFoundError) -> int:
    package = _package(error)
    extra = "bench" if package == "matplotlib" else "cli"  # only bench --plot draws
    hint = f'run pip install ".[{extra}]" in the source folder'
    return _fail(f"the command line needs the package {package!r}: {hint}", 1)


def _fail(message: str, status: int) -> int:
    print(f"tessarine: {message}", file=sys.stderr)
    return status


def _package(error: ModuleNotFoundError) -> str:
    return (error.name or "?").split(".")[0]


class _Terminated(BaseException):
    """SIGTERM or SIGHUP, raised where the program is so that every cleanup runs."""

    def __init__(self, number: int) -> None:
        super().__init__(number)
        self.signal = number


def _raise_terminated(number: int, _frame: object) -> None:
    # A second signal must not cut the cleanup short: ignore both until main restores them.
    for name in ("SIGTERM", "SIGHUP"):
        if hasattr(signal, name):
            signal.signal(getattr(signal, name), signal.SIG_IGN)
    raise _Terminated(number)


@contextlib.contextmanager
def _cleanup_on_termination() -> Iterator[None]:
    numbers = [getattr(signal, n) for n in ("SIGTERM", "SIGHUP") if hasattr(signal, n)]
    previous = [signal.signal(number, _raise_terminated) for number in numbers]
    try:
        yield
    finally:
        for number, handler in zip(numbers, previous):
            signal.signal(number, handler)
