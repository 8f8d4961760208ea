"""Writes tests/data/golden_frame_errors/: damaged version-1 frames, each made from a golden frame
by one change (the CRC resealed unless the change is to it), with the exact error text that
decoding gives. Run by hand from the repository root with the scalar tier, as the golden
outputs were: TESSARINE_CPU=scalar python tests/tools/make_frame_errors.py"""

import struct
import sys
import zlib
from pathlib import Path

import tessarine_tools

DATA = Path("tests/data")
SOURCE = DATA / "golden_frames_v1"
OUT = DATA / "golden_frame_errors"


def frame(name: str) -> bytearray:
    return bytearray((SOURCE / f"{name}.tsrf").read_bytes())


def sealed(data: bytearray) -> bytes:
    struct.pack_into("<I", data, 5, zlib.crc32(data[9:]))
    return bytes(data)


def poked(name: str, at: int, fmt: str, value: object) -> bytes:
    data = frame(name)
    struct.pack_into(fmt, data, at, value)
    return sealed(data)


def lengths(data: bytearray) -> tuple[int, int, int]:
    return struct.unpack_from("<3Q", data, 48)


def with_sections(
    name: str,
    container: bytes | None = None,
    residual: bytes | None = None,
    nonfinite: bytes | None = None,
) -> bytes:
    data = frame(name)
    c, r, m = lengths(data)
    parts = [bytes(data[72 : 72 + c]), bytes(data[72 + c : 72 + c + r]), bytes(data[72 + c + r :])]
    for i, new in enumerate((container, residual, nonfinite)):
        if new is not None:
            parts[i] = new
    head = data[:72]
    struct.pack_into("<3Q", head, 48, *(len(p) for p in parts))
    return sealed(bytearray(head + b"".join(parts)))


def section(name: str, index: int) -> bytes:
    data = frame(name)
    c, r, _ = lengths(data)
    starts = (72, 72 + c, 72 + c + r)
    ends = (72 + c, 72 + c + r, len(data))
    return bytes(data[starts[index] : ends[index]])


def cases() -> dict[str, bytes]:
    ecg = "max_error_ecg_f32"
    codes = "max_error_codes_i16"
    residual = section(ecg, 1)
    bad_crc = frame(ecg)
    bad_crc[100] ^= 0x01
    return {
        "too_short": bytes(frame(ecg)[:71]),
        "version_3": poked(ecg, 4, "<B", 3),
        "checksum": bytes(bad_crc),
        "lengths": poked(ecg, 56, "<Q", lengths(frame(ecg))[1] + 1),
        "dtype_kind": poked(ecg, 9, "<c", b"c"),
        "dtype_size": poked(ecg, 10, "<B", 1),
        "sample_count": poked(ecg, 11, "<Q", 2**31),
        "settings": poked(ecg, 44, "<B", 4),
        "map_on_integers": with_sections(codes, nonfinite=section("nonfinite_f32", 2)),
        "map_damaged": with_sections("nonfinite_f32", nonfinite=b"\x78\x9c\xff\xff"),
        "residual_cut_short": with_sections(ecg, residual=residual[:11]),
        "residual_kind_3": with_sections(ecg, residual=b"\x03" + residual[1:]),
        "residual_float_step_on_integers": with_sections(
            codes, residual=b"\x00" + section(codes, 1)[1:]
        ),
        "residual_wrong_length": with_sections(ecg, residual=residual[:2] + b"\x04" + residual[3:]),
        "residual_zlib_corrupt": with_sections(
            ecg, residual=residual[:1] + b"\x00" + residual[2:12] + b"\x78\x9c" + b"\xff" * 64
        ),
        "container_count": poked("settings_ecg_f32", 11, "<Q", 2999),
        "container_magic": with_sections(
            "settings_ecg_f32", container=b"X" + section("settings_ecg_f32", 0)[1:]
        ),
    }


def write_error_cases(damaged: dict[str, bytes], folder: Path) -> int:
    """Stores each damaged frame with the text decompress refuses it with; 1 if one decodes."""
    folder.mkdir(exist_ok=True)
    for name, data in damaged.items():
        try:
            tessarine_tools.decompress(data)
        except ValueError as error:
            (folder / f"{name}.tsrf").write_bytes(data)
            (folder / f"{name}.txt").write_text(f"{error}\n", encoding="utf-8")
        else:
            print(f"{name} decodes", file=sys.stderr)
            return 1
    return 0


def main() -> int:
    return write_error_cases(cases(), OUT)


if __name__ == "__main__":
    sys.exit(main())
