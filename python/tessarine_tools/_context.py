"""The context-manager protocol of the stream reader and writer, in one place."""

from __future__ import annotations

from types import TracebackType
from typing import TypeVar

Self = TypeVar("Self", bound="Context")


class Context:
    """`with` gives the object itself; leaving calls `_leave(failed)`."""

    def __enter__(self: Self) -> Self:
        return self

    def __exit__(
        self,
        kind: type[BaseException] | None,
        error: BaseException | None,
        trace: TracebackType | None,
    ) -> None:
        self._leave(failed=kind is not None)

    def _leave(self, failed: bool) -> None:
        raise NotImplementedError
