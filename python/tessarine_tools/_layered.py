"""Chooses the wavelet scale under a residual layer by the size of the pair.

A coarse container leaves a larger residual and a fine one costs more itself; the total is
smallest near the scale whose own error is a few times the bound, which is where the search
starts, then it walks one scale at a time while the coded size keeps falling. Under max-error
bounds a frame without container often wins: the layer then quantises the signal itself and
codes each step count as its difference from the previous one. On long signals the choice is
made on evenly spaced blocks of the signal and only the chosen candidate is built in full.
"""

from __future__ import annotations

from dataclasses import dataclass

import numpy as np
import numpy.typing as npt

from . import _native
from ._residual import Layer, quantise
from ._search import COARSEST, FINEST, LOW, Evaluator

_START_BELOW_ALONE = 2  # scales below the one the wavelet alone would need
_WALK_WITHIN = 1.2  # walk from the first wavelet base only when it is within this of a layer alone
_MAX_STEPS = 3  # builds a walk may spend: sizes near the best scale differ by a few percent
_BLOCKS, _SAMPLED_LENGTH = 4, 1 << 14  # 4 blocks, 16384 samples: fewer joins to mislead the choice


@dataclass(frozen=True)
class Candidate:
    method: int
    scale: int
    container: bytes
    base: npt.NDArray[np.float32]  # the container as the decoder gives it back
    layer: Layer
    flat: bool = False  # no container: the layer carries the whole signal, delta-coded

    @property
    def cost(self) -> int:
        return len(self.container) + len(self.layer.packed)


def build(evaluate: Evaluator, method: int, scale: int, coder: int) -> Candidate:
    evaluate.evaluations += 1
    container = bytes(_native.compress(evaluate.samples, method, scale, LOW, coder))
    base = _native.decompress(container)
    return Candidate(
        method, scale, container, base, quantise(evaluate.signal, base, evaluate.bound)
    )


def build_flat(evaluate: Evaluator, method: int) -> Candidate:
    """No container: the layer quantises the samples themselves."""
    evaluate.evaluations += 1
    base = np.zeros(evaluate.samples.size, np.float32)
    layer = quantise(evaluate.signal, base, evaluate.bound, delta=True)
    return Candidate(method, COARSEST, b"", base, layer, flat=True)


def search_layered(
    evaluate: Evaluator, method: int, coder: int, allow_flat: bool = True
) -> Candidate:
    """The smaller of the best wavelet base and a flat one, each with its residual layer.

    `allow_flat` is False when the caller named a wavelet: it then gets that wavelet's container.
    """
    samples = evaluate.signal.working.size
    if samples <= 4 * _SAMPLED_LENGTH:
        return _better(evaluate, method, coder, allow_flat)
    blocks = evaluate.signal.blocks(_BLOCKS, _SAMPLED_LENGTH // _BLOCKS)
    scout = Evaluator(blocks, evaluate.bound, blocks.working)
    choice = _better(scout, method, coder, allow_flat)
    evaluate.evaluations += scout.evaluations
    if choice.flat:
        return build_flat(evaluate, method)
    return build(evaluate, method, choice.scale, coder)


def _better(evaluate: Evaluator, method: int, coder: int, allow_flat: bool) -> Candidate:
    start = max(COARSEST, min(FINEST, evaluate.first_scale() - _START_BELOW_ALONE))
    first = build(evaluate, method, start, coder)
    if not allow_flat:
        return _walk(evaluate, method, coder, first)
    flat = build_flat(evaluate, method)
    # A walk gains tens of percent: from a start this far behind it is not worth its evaluations.
    if first.cost > _WALK_WITHIN * flat.cost:
        return flat
    return min(flat, _walk(evaluate, method, coder, first), key=lambda c: c.cost)


def _walk(evaluate: Evaluator, method: int, coder: int, best: Candidate) -> Candidate:
    # A residual larger than its container says a finer container pays off, and the reverse.
    first = 1 if len(best.layer.packed) > len(best.container) else -1
    steps = 0
    for direction in (first, -first):
        moved = False
        scale = best.scale + direction
        while COARSEST <= scale <= FINEST and steps < _MAX_STEPS:
            steps += 1
            candidate = build(evaluate, method, scale, coder)
            if candidate.cost >= best.cost:
                break
            best, moved, scale = candidate, True, scale + direction
        if moved:  # the other way only gets worse
            break
    return best
