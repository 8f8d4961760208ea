"""Finds the cheapest scale and cutoff whose reconstruction meets a bound.

Candidates are judged on `_native.reconstruct`, which gives exactly the decoded signal without
entropy coding. The error roughly halves per scale step, so the first guess comes from the bound
and each miss jumps by log2 of how far it missed; a typical call needs one to three evaluations.
"""

from __future__ import annotations

import math
from dataclasses import dataclass

import numpy as np
import numpy.typing as npt

from . import _native
from ._bounds import Bound
from ._residual import finish
from ._signal import Signal, errors

LOW, MEDIUM, HIGH = 0, 1, 2
FINEST, COARSEST = 12, 6
_NO_DEAD_ZONE_BELOW = 8  # scales 6 and 7 have no dead zone, so the cutoff changes nothing there
# Largest error over the range at scale s is about 2 * 2**-s for max error and 0.5 * 2**-s for RMSE.
_MAX_ERROR_AT_ZERO, _RMSE_AT_ZERO = 2.0, 0.5


@dataclass
class Evaluator:
    signal: Signal
    bound: Bound
    samples: npt.NDArray[np.float32]
    evaluations: int = 0

    def __call__(self, method: int, scale: int, cutoff: int) -> float:
        """How many times over the bound this setting's decoded signal is."""
        self.evaluations += 1
        base = _native.reconstruct(self.samples, method, scale, cutoff)
        out = finish(base, self.signal.dtype)
        return self.bound.excess(errors(self.signal, out), self.signal.span)

    def first_scale(self) -> int:
        span = self.signal.span
        tolerance, rmse = self.bound.limits(span)
        if span <= 0.0:
            return COARSEST
        wanted = max(_MAX_ERROR_AT_ZERO * span / tolerance, _RMSE_AT_ZERO * span / rmse, 1.0)
        return min(FINEST, max(COARSEST, math.ceil(math.log2(wanted))))


def search(evaluate: Evaluator, method: int) -> tuple[int, int] | None:
    """(scale, cutoff) for `method`, or None when even the finest setting misses the bound."""
    scale = evaluate.first_scale()
    excess = evaluate(method, scale, LOW)
    while excess > 1.0 and scale < FINEST:
        scale = min(FINEST, scale + max(1, math.ceil(math.log2(excess))))
        excess = evaluate(method, scale, LOW)
    if excess > 1.0:
        return None
    while scale > COARSEST and excess <= 0.5:
        coarser = evaluate(method, scale - 1, LOW)
        if coarser > 1.0:
            break
        scale, excess = scale - 1, coarser
    return scale, _widest_cutoff(evaluate, method, scale, excess)


def _widest_cutoff(evaluate: Evaluator, method: int, scale: int, excess: float) -> int:
    # A wider dead zone costs accuracy at the same scale; only try one that the margin can pay for.
    if scale < _NO_DEAD_ZONE_BELOW:
        return LOW
    for cutoff, margin in ((HIGH, 0.3), (MEDIUM, 0.7)):
        if excess <= margin and evaluate(method, scale, cutoff) <= 1.0:
            return cutoff
    return LOW
