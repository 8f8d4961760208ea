"""Outputs appear whole or not at all: everything is written under a hidden temporary name
in the output's own folder (so the final rename never crosses file systems) and renamed last.

The temporary name sits inside a fresh private folder with an unpredictable name, made by
mkdtemp (which never follows or reuses a planted name), so nobody can aim the write elsewhere.

One rule for every output: its folder must exist, unless the user asks for it with --parents;
a mistyped folder then fails instead of quietly growing a tree. Folders made for an output
that never appears are removed again.
"""

from __future__ import annotations

import os
import shutil
import tempfile
from collections.abc import Iterator
from contextlib import contextmanager
from pathlib import Path

from tessarine_tools.cli.errors import CliError, UsageError


def check_output(target: Path, force: bool, parents: bool) -> None:
    """Refuses, before any work, an output that exists or whose folder is missing."""
    if (target.exists() or target.is_symlink()) and not force:
        raise UsageError(f"{target} already exists (use --force to replace it)")
    folder = target.parent
    if folder.exists() and not folder.is_dir():
        raise CliError(f"{target}: {folder} is not a folder")
    if not folder.exists() and not parents:
        raise CliError(f"{target}: folder {folder} does not exist (use --parents to create it)")


@contextmanager
def atomic_output(target: Path, force: bool, parents: bool = False) -> Iterator[Path]:
    """Yields the temporary path to write; on success it replaces `target`."""
    check_output(target, force, parents)
    made = _make_folders(target.parent)
    try:
        folder = target.parent.absolute()  # later writes must not follow a changed working folder
        private = Path(tempfile.mkdtemp(prefix=f".{target.name}.partial-", dir=folder))
        try:
            temporary = private / target.name
            yield temporary
            _replace(temporary, target, private / ".replaced")
        finally:
            shutil.rmtree(private, ignore_errors=True)
    except BaseException:
        for path in reversed(made):
            with _quietly():
                path.rmdir()
        raise


def _make_folders(folder: Path) -> list[Path]:
    """Creates the missing folders above an output, outermost first, and lists them."""
    missing = [p for p in (folder, *folder.parents) if not p.exists()][::-1]
    for path in missing:
        path.mkdir()
    return missing


@contextmanager
def _quietly() -> Iterator[None]:
    try:
        yield
    except OSError:  # someone else put something there meanwhile: leave it
        pass


def _replace(source: Path, target: Path, aside: Path) -> None:
    if not (source.is_dir() and target.is_dir()):
        if target.is_dir():
            shutil.rmtree(target)
        os.replace(source, target)
        return
    # A directory cannot be renamed over a non-empty one: move the old one aside first.
    os.replace(target, aside)
    try:
        os.replace(source, target)
    except BaseException:
        os.replace(aside, target)
        raise
