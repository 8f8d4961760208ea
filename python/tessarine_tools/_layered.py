"""Chooses the wavelet scale under a residual layer by the size of the pair.

A coarse container leaves a larger residual and a fine one costs more itself; the total is
smallest near the scale whose own error is a few times the bound, which is where the search
starts, then it walks one scale at a time while the estimated size keeps falling.
"""

from __future__ import annotations

from dataclasses import dataclass

from . import _native
from ._residual import Layer, quantise
from ._search import COARSEST, FINEST, LOW, Evaluator

_START_BELOW_ALONE = 2  # scales below the one the wavelet alone would need


@dataclass(frozen=True)
class Candidate:
    method: int
    scale: int
    container: bytes
    layer: Layer

    @property
    def cost(self) -> float:
        return len(self.container) + self.layer.estimate()


def build(evaluate: Evaluator, method: int, scale: int, coder: int) -> Candidate:
    evaluate.evaluations += 1
    container = bytes(_native.compress(evaluate.samples, method, scale, LOW, coder))
    base = _native.decompress(container)
    return Candidate(method, scale, container, quantise(evaluate.signal, base, evaluate.bound))


def search_layered(evaluate: Evaluator, method: int, coder: int) -> Candidate:
    start = max(COARSEST, min(FINEST, evaluate.first_scale() - _START_BELOW_ALONE))
    best = build(evaluate, method, start, coder)
    # A residual larger than its container says a finer container pays off, and the reverse.
    first = 1 if best.layer.estimate() > len(best.container) else -1
    for direction in (first, -first):
        moved = False
        scale = best.scale + direction
        while COARSEST <= scale <= FINEST:
            candidate = build(evaluate, method, scale, coder)
            if candidate.cost >= best.cost:
                break
            best, moved, scale = candidate, True, scale + direction
        if moved:
            break
    return best
