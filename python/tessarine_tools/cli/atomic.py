"""Outputs appear whole or not at all: everything is written under a hidden temporary name
in the output's own folder (so the final rename never crosses file systems) and renamed last.

The temporary name sits inside a fresh private folder with an unpredictable name, made by
mkdtemp (which never follows or reuses a planted name), so nobody can aim the write elsewhere.
"""

from __future__ import annotations

import os
import shutil
import tempfile
from collections.abc import Iterator
from contextlib import contextmanager
from pathlib import Path

from tessarine_tools.cli.errors import UsageError


def refuse_existing(target: Path, force: bool) -> None:
    if (target.exists() or target.is_symlink()) and not force:
        raise UsageError(f"{target} already exists (use --force to replace it)")


@contextmanager
def atomic_output(target: Path, force: bool) -> Iterator[Path]:
    """Yields the temporary path to write; on success it replaces `target`."""
    refuse_existing(target, force)
    folder = target.parent.absolute()  # later writes must not follow a changed working folder
    private = Path(tempfile.mkdtemp(prefix=f".{target.name}.partial-", dir=folder))
    try:
        temporary = private / target.name
        yield temporary
        _replace(temporary, target, private / ".replaced")
    finally:
        shutil.rmtree(private, ignore_errors=True)


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
