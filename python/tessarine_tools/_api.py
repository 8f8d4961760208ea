"""compress and decompress: frames by default, bare containers on request."""

from __future__ import annotations

from collections.abc import Sequence
from typing import cast

import numpy as np
import numpy.typing as npt

from . import _native, _residual
from ._bounds import Bound
from ._channels import compress_channels, decode_channels, per_channel_bounds
from ._frame import FRAME_2, Frame, Settings, is_frame, unpack
from ._layered import search_layered
from ._lossless import lossless_frame
from ._nonfinite import Map, decode_map, encode_map
from ._search import LOW, Evaluator, search
from ._settings import CodecSettings, check_threads
from ._signal import Signal, as_array, errors, exactly_within, load, span_of


def compress(
    data: object,
    *,
    max_error: float | None = None,
    rel_error: float | None = None,
    psnr: float | None = None,
    method: str | None = None,
    scale: int | None = None,
    cutoff: str | None = None,
    coder: str = "arans",
    plain: bool = False,
    lossless: bool = False,
    block_size: int | None = None,
    threads: int = 1,
    joint: bool = True,
    channel_axis: int = 0,
) -> bytes:
    """Compress a 1-D signal of real numbers, or several channels, into one frame.

    With a bound, the result is the smallest output found that meets every bound given; without
    one, the wavelet settings are used as given and the error is measured, not promised.

    Choosing a bound:

    - exact bits: ``lossless=True``, any dtype (-0.0, NaN payloads, subnormals included); for
      integers any ``max_error`` below 1 is the same, since their errors are whole numbers;
    - an error in the signal's units: ``max_error``, |x - x'| for every finite sample; for ADC
      codes times a gain, a bound below one step gives the codes back within float rounding;
    - an error relative to the signal: ``rel_error``, a fraction of max - min of the finite
      samples;
    - an average: ``psnr``, 20 log10((max - min) / RMSE) in dB, met within 0.5 dB above it.

    On the shipped 60-second ECG (float32; ratios against float32): lossless 8.68,
    ``max_error=1e-4`` 8.68 (error 6e-8), ``max_error=0.005`` 11.72, ``psnr=60`` 9.24,
    ``rel_error=1e-2`` 21.62, no bound 4.46 at 69.2 dB. On its int16 ADC codes: lossless or
    ``max_error=0.4`` 4.34, ``max_error=1`` 6.39, ``max_error=2`` 9.19.

    Parameters
    ----------
    data : array_like
        1-D real samples: float16/32/64 or any integer type, any stride or byte order; or a
        2-D array of channels (along `channel_axis`) coded as one frame under a bound.
    max_error, rel_error, psnr : float, optional
        Bounds, positive and finite; any of them together, all then hold. For channels each
        holds on every channel's own samples, and max_error may give one bound per channel.
    method : {"cdf97", "cdf53", "db4", "sym4", "best"}, optional
        A wavelet instead of the predictive coder; "best" (with a bound) keeps the smaller.
    scale : int, optional
        6 to 12, unbounded calls only: each step halves the quantisation step.
    cutoff : {"low", "medium", "high"}, optional
        How many small wavelet details are dropped, unbounded calls only.
    coder : {"arans", "deflate", "auto"}, default "arans"
        The wavelet container's entropy coder.
    plain : bool, default False
        Return a bare container (float32 input only), as ``tessarine.compress_signal`` does.
    lossless : bool, default False
        Every bit back; takes no bound, method, scale, cutoff or plain beside it. For floats
        the frame may hold the samples' byte planes instead (version 1, when smaller); give
        block_size for a version-2 frame that `open` reads a window at a time.
    block_size : int, optional
        Samples per independently decodable block of a bounded frame.
    threads : int, default 1
        Threads that code the blocks; the bytes do not depend on it.
    joint : bool, default True
        Channels of integers may be predicted from channels before them, where a fit on the
        samples says it pays (derived ECG leads then cost almost nothing).
    channel_axis : int, default 0
        The axis of a 2-D `data` that runs over channels.

    Returns
    -------
    bytes
        A frame (``b"TSRF"...``), or a container with ``plain=True``.

    Raises
    ------
    TypeError
        A setting of the wrong type, or samples that are not real numbers.
    ValueError
        Settings that conflict or are out of range, or samples no frame can hold.

    Examples
    --------
    >>> import numpy as np
    >>> import tessarine_tools as tt
    >>> codes = np.array([3, 5, 4, -2, 0, 7], dtype=np.int16)
    >>> frame = tt.compress(codes, max_error=0.4)
    >>> tt.decompress(frame).tolist()
    [3, 5, 4, -2, 0, 7]
    >>> wave = np.sin(np.arange(1000) / 20.0)
    >>> back = tt.decompress(tt.compress(wave, max_error=1e-3))
    >>> bool(np.max(np.abs(back - wave)) <= 1e-3)
    True
    """
    per_channel = per_channel_bounds(max_error)
    if per_channel is not None and np.ndim(data) != 2:  # type: ignore[arg-type]
        raise ValueError("one max_error per channel needs 2-D input")
    settings = CodecSettings(
        max_error=max(per_channel) if per_channel else max_error,
        rel_error=rel_error,
        psnr=psnr,
        method=method,
        scale=scale,
        cutoff=cutoff,
        coder=coder,
        plain=plain,
        lossless=lossless,
        block_size=block_size,
        joint=joint,
    )
    if np.ndim(data) == 2:  # type: ignore[arg-type]
        return compress_channels(data, settings, per_channel, channel_axis, check_threads(threads))
    return _compress(data, settings, check_threads(threads))


def _compress(data: object, settings: CodecSettings, threads: int = 1) -> bytes:
    bound, methods, fixed = settings.resolved
    method, coder_code = settings.method, fixed.coder
    if settings.plain:
        return _plain(data, bound, methods, fixed)
    if bound is None:
        return _settings_frame(data, fixed)
    if settings.lossless and settings.block_size is None:  # blocks need a version-2 frame
        native = _native_frame(data, bound, settings.blocks, threads)
        return lossless_frame(data, native, bound, fixed)
    if method is None:
        return _native_frame(data, bound, settings.blocks, threads)
    if method != "best":  # a wavelet the caller names is kept
        return _wavelet_frame(data, bound, methods, coder_code, allow_flat=False)
    # The predictive coder against every wavelet with its residual layer: the smaller.
    native = _native_frame(data, bound, settings.blocks, threads)
    try:
        return min(native, _wavelet_frame(data, bound, methods, coder_code, True), key=len)
    except ValueError:  # beyond what a float32 wavelet container can hold
        return native


def _settings_frame(data: object, fixed: Settings) -> bytes:
    signal = load(data)
    nonfinite = encode_map(signal.raw, signal.finite)
    container = _encode(signal.working, fixed)
    return Frame(signal.dtype, signal.raw.size, None, fixed, container, nonfinite=nonfinite).pack()


def _wavelet_frame(
    data: object, bound: Bound, methods: Sequence[int], coder: int, allow_flat: bool
) -> bytes:
    signal = load(data)
    nonfinite = encode_map(signal.raw, signal.finite)
    return _bounded(signal, bound, methods, coder, nonfinite, allow_flat)


def _native_frame(data: object, bound: Bound, block_size: int, threads: int) -> bytes:
    """The bounded predictive coder: one native call, the signal read where it lies."""
    array = np.asarray(data)
    if array.dtype.kind not in "fiu" or (array.dtype.kind == "f" and array.dtype.itemsize > 8):
        raise TypeError(
            f"expected real numbers (float16/32/64 or integers), got dtype {array.dtype}"
        )
    if array.ndim != 1:
        raise ValueError(f"expected a 1-D array, got {array.ndim} dimensions")
    if not array.dtype.isnative:
        array = array.astype(array.dtype.newbyteorder("="))
    return bytes(
        _native.compress_frame(
            array, bound.max_error, bound.rel_error, bound.psnr, block_size, threads
        )
    )


def _encode(samples: npt.NDArray[np.float32], s: Settings) -> bytes:
    return bytes(_native.compress(samples, s.method, s.scale, s.cutoff, s.coder))


def _chosen(signal: Signal, bound: Bound, methods: Sequence[int], coder: int) -> list[Settings]:
    evaluate = Evaluator(signal, bound, signal.working)
    found = ((m, search(evaluate, m)) for m in methods)
    return [Settings(m, s[0], s[1], coder) for m, s in found if s is not None]


def _bounded(
    signal: Signal,
    bound: Bound,
    methods: Sequence[int],
    coder: int,
    nonfinite: bytes,
    allow_flat: bool,
) -> bytes:
    evaluate = Evaluator(signal, bound, signal.working)
    best = min(
        (search_layered(evaluate, m, coder, allow_flat) for m in methods), key=lambda c: c.cost
    )
    settings = Settings(best.method, best.scale, LOW, coder)
    frame = Frame(
        signal.dtype, signal.raw.size, bound, settings, best.container, best.layer.packed, nonfinite
    )
    # The base came from the decoder; decoding the stored residual and map completes the check.
    decoded = _compose(frame, best.base)
    if bound.excess(errors(signal, decoded), signal.span) <= 1.0 and exactly_within(
        signal, decoded, bound
    ):
        return frame.pack()
    # Never hand out a frame that breaks its bound: fall back to storing the samples as they are.
    section = _residual.verbatim(signal).packed
    return Frame(
        signal.dtype, signal.raw.size, bound, settings, best.container, section, nonfinite
    ).pack()


_NO_PLAIN_SETTING = (
    "no setting meets the bound; a bare container cannot carry the residual layer it needs"
)


def _plain(data: object, bound: Bound | None, methods: Sequence[int], fixed: Settings) -> bytes:
    array = as_array(data)
    if array.dtype != np.float32:
        raise ValueError(
            f"plain=True stores float32 samples only, got {array.dtype}; use a frame instead"
        )
    samples = array.astype(np.float32, copy=False)
    if bound is None:
        return _encode(samples, fixed)
    reference = samples.astype(np.float64)
    # The container's own sanitising applies to non-finite samples; bounds cover the finite ones.
    finite = np.isfinite(reference)
    signal = Signal(samples, reference, finite, samples, span_of(reference, finite))
    passing = _chosen(signal, bound, methods, fixed.coder)
    if not passing:
        raise ValueError(_NO_PLAIN_SETTING)
    container = min((_encode(samples, s) for s in passing), key=len)
    if bound.excess(errors(signal, _native.decompress(container)), signal.span) > 1.0:
        raise ValueError(_NO_PLAIN_SETTING)
    return container


def decompress(
    data: object,
    *,
    out: npt.NDArray[np.generic] | None = None,
    start: int | None = None,
    stop: int | None = None,
    threads: int = 1,
    channels: Sequence[int] | None = None,
) -> npt.NDArray[np.generic]:
    """Decode a frame (its checksum first) or a bare container.

    Parameters
    ----------
    data : bytes-like
        What `compress` returned.
    out : numpy.ndarray, optional
        A writeable 1-D array of the frame's dtype and length (of the window, with start or
        stop) that receives the samples.
    start, stop : int, optional
        A window, as a slice takes it (negative counts from the end); a blocked frame then
        reads and checks only the blocks that hold it, and only the 65,536-sample chunks of
        them that hold it are decoded.
    threads : int, default 1
        Threads that decode in parallel: a signal of more than 65,536 samples is shared
        among them in pieces of up to 262,144 samples, also within one block.
    channels : sequence of int, optional
        For a frame of several channels: the channels to decode, in this order; only they
        and the channels they are predicted from are read. All of them by default.

    Returns
    -------
    numpy.ndarray
        The samples in the dtype they were compressed from (float32 for a bare container),
        channels × samples for a frame of channels; `out` itself when given.

    Raises
    ------
    ValueError
        Damaged bytes, bytes that are neither frame nor container, or an `out` that does not
        fit.
    TypeError
        An `out` that is not a NumPy array.

    Examples
    --------
    >>> import numpy as np
    >>> import tessarine_tools as tt
    >>> frame = tt.compress(np.arange(10, dtype=np.uint8), lossless=True)
    >>> tt.decompress(frame, start=2, stop=5).tolist()
    [2, 3, 4]
    """
    threads = check_threads(threads)
    # bytes are used as they are (the chunk codec hands over one per lane); other buffers copied.
    raw = data if type(data) is bytes else bytes(memoryview(data))  # type: ignore[arg-type]
    whole = start is None and stop is None
    if raw[:5] == FRAME_2:
        window = None if whole else (start, stop)
        return _decode_native_frame(raw, out, window, threads, channels)
    if channels is not None:
        raise ValueError("channels= is for frames of several channels")
    if whole:
        return _decode_other(raw, out)
    samples = _decode_other(raw, None)
    low, high = window_of(start, stop, samples.size)
    return _delivered(samples[low:high], out)


def window_of(start: object, stop: object, count: int) -> tuple[int, int]:
    """[start, stop) as a slice of `count` samples takes it: negative from the end, clamped."""
    for name, value in (("start", start), ("stop", stop)):
        if value is not None and (
            isinstance(value, bool) or not isinstance(value, (int, np.integer))
        ):
            raise TypeError(f"{name} must be an integer or None, got {type(value).__name__}")
    low, high, _ = slice(start, stop).indices(count)
    return low, max(low, high)


def _decode_other(raw: bytes, out: npt.NDArray[np.generic] | None) -> npt.NDArray[np.generic]:
    if not is_frame(raw):
        if (
            out is not None
            and _fits(out, np.dtype(np.float32))
            and out.flags.c_contiguous
            and out.size == _sample_count(raw)
        ):
            return _native.decompress(raw, out=cast("npt.NDArray[np.float32]", out))
        result: npt.NDArray[np.generic] = _native.decompress(raw)
    else:
        frame = unpack(raw)
        # A lane decoded into its chunk never costs more than the chunk: refused before decoding.
        if out is not None and (not _fits(out, frame.dtype) or out.size != frame.sample_count):
            raise ValueError(
                f"out must be a writeable 1-D {frame.dtype} array of {frame.sample_count} samples"
            )
        result = _decode(frame)
    return _delivered(result, out)


def _delivered(
    result: npt.NDArray[np.generic], out: npt.NDArray[np.generic] | None
) -> npt.NDArray[np.generic]:
    if out is None:
        return result
    if not _fits(out, result.dtype) or out.shape != result.shape:
        raise ValueError(
            f"out must be a writeable 1-D {result.dtype} array of {result.size} samples"
        )
    np.copyto(out, result)
    return out


def _decode_native_frame(
    raw: bytes,
    out: npt.NDArray[np.generic] | None,
    window: tuple[object, object] | None,
    threads: int,
    channels: Sequence[int] | None = None,
) -> npt.NDArray[np.generic]:
    # A window trusts the header and block index, and reads only the blocks it needs.
    fields = _native.frame_fields(raw, window is None)
    dtype, count = np.dtype(fields["dtype"]), int(fields["sample_count"])
    if fields["body"] == "channels":
        length = count // int(fields["channels"])
        span = None if window is None else window_of(*window, length)
        return decode_channels(raw, dict(fields), channels, span, out, threads)
    if channels is not None:
        raise ValueError("channels= is for frames of several channels")
    low, high = (0, count) if window is None else window_of(*window, count)
    # The frame's own checksum was checked above for a whole decode; the decoder then checks
    # the block index and each block's checksum as it goes, so it need not read it again.
    stop = high
    if out is None:
        return _native.decode_frame(raw, np.empty(high - low, dtype), low, stop, threads)
    if not _fits(out, dtype) or out.size != high - low:
        raise ValueError(f"out must be a writeable 1-D {dtype} array of {high - low} samples")
    if out.flags.c_contiguous:
        return _native.decode_frame(raw, out, low, stop, threads)
    np.copyto(out, _native.decode_frame(raw, np.empty(high - low, dtype), low, stop, threads))
    return out


def _sample_count(container: bytes) -> int:
    return int.from_bytes(container[16:20], "little") if len(container) >= 20 else -1


def _fits(out: object, dtype: np.dtype[np.generic]) -> bool:
    if not isinstance(out, np.ndarray):
        raise TypeError(f"out must be a NumPy array, got {type(out).__name__}")
    return out.ndim == 1 and out.dtype == dtype and out.flags.writeable


def _decode(frame: Frame) -> npt.NDArray[np.generic]:
    # Every section is checked against the sample count before anything is decoded for it.
    nonfinite = decode_map(frame.nonfinite, frame.sample_count, frame.dtype)
    if frame.residual:
        _residual.check(frame.residual, frame.sample_count, frame.dtype)
    if not frame.container:
        return _composed(frame, None, nonfinite)
    if _sample_count(frame.container) != frame.sample_count:
        raise ValueError("frame is damaged: its container holds a different number of samples")
    base = _native.decompress(frame.container)
    if base.size != frame.sample_count:
        raise ValueError("frame is damaged: its container holds a different number of samples")
    return _composed(frame, base, nonfinite)


def _compose(frame: Frame, base: npt.NDArray[np.float32] | None) -> npt.NDArray[np.generic]:
    return _composed(frame, base, decode_map(frame.nonfinite, frame.sample_count, frame.dtype))


def _composed(
    frame: Frame, base: npt.NDArray[np.float32] | None, nonfinite: Map
) -> npt.NDArray[np.generic]:
    if frame.residual:
        out = _residual.decode(frame.residual, base, frame.sample_count, frame.dtype)
    elif base is None:
        # Zeros in any dtype: left to the allocator, which hands out untouched pages for free.
        out = np.zeros(frame.sample_count, frame.dtype)
    else:
        out = _residual.finish(base, frame.dtype)
    nonfinite.apply(out)
    return out
