"""Outputs appear whole or not at all: everything is written under a hidden temporary name
in the output's own folder (so the final rename never crosses file systems) and renamed last."""

from __future__ import annotations

import os
import shutil
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
    temporary = target.with_name(f".{target.name}.partial-{os.getpid()}")
    try:
        yield temporary
        _replace(temporary, target)
    finally:
        _remove(temporary)


def _replace(source: Path, target: Path) -> None:
    if not (source.is_dir() and target.is_dir()):
        if target.is_dir():
            shutil.rmtree(target)
        os.replace(source, target)
        return
    # A directory cannot be renamed over a non-empty one: move the old one aside first.
    old = target.with_name(f".{target.name}.old-{os.getpid()}")
    os.replace(target, old)
    try:
        os.replace(source, target)
    except BaseException:
        os.replace(old, target)
        raise
    shutil.rmtree(old, ignore_errors=True)


def _remove(path: Path) -> None:
    if path.is_dir() and not path.is_symlink():
        shutil.rmtree(path, ignore_errors=True)
    elif path.exists() or path.is_symlink():
        path.unlink()
