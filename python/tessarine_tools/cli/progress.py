"""Progress bars only where the work takes long enough to be worth watching."""

from __future__ import annotations

import sys
from collections.abc import Iterable, Iterator
from typing import TypeVar

T = TypeVar("T")


def progress(items: Iterable[T], total: int, what: str) -> Iterator[T]:
    from tqdm import tqdm

    # delay: a bar appears only after a second of work, so quick runs stay one line.
    yield from tqdm(
        items,
        total=total,
        desc=what,
        unit="",
        delay=1.0,
        leave=False,
        file=sys.stderr,
        disable=total < 2,
    )
