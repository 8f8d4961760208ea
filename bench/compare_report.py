"""Results on disk: a Markdown table and a CSV per signal, rate-distortion and speed plots, and
an all-signal summary."""

from __future__ import annotations

import csv
import importlib
import importlib.metadata
import math
import os
import platform
from dataclasses import asdict, fields
from datetime import date
from pathlib import Path
from typing import Any

import numpy as np

from compare_codecs import (
    DIY,
    FULL_SWEEP,
    QUICK_SWEEP,
    SZ3,
    TESSARINE,
    ZFP,
    ZLIB,
    ZSTD,
    Peers,
    Sweep,
)
from compare_measure import (
    DEFAULT_CUTOFF,
    DEFAULT_METHOD,
    DEFAULT_SCALE,
    Measurement,
    SignalReport,
    bits_at_psnr,
    pareto_front,
    speed_ratio,
)


def package_versions() -> dict[str, str]:
    names = ("tessarine", "numpy", "PyWavelets", "zfpy", "pysz", "zstandard", "matplotlib")
    versions = {}
    for name in names:
        try:
            versions[name] = importlib.metadata.version(name)
        except importlib.metadata.PackageNotFoundError:
            versions[name] = "not installed"
    return versions


def cpu_model() -> str:
    try:
        for line in Path("/proc/cpuinfo").read_text().splitlines():
            if line.startswith("model name"):
                return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.processor() or "unknown"


# ---------------------------------------------------------------------------- reporting


def number(value: float | None, digits: int = 3) -> str:
    if value is None or (isinstance(value, float) and math.isnan(value)):
        return "n/a"
    if math.isinf(value):
        return "inf"
    if value == 0:
        return "0"
    return (
        f"{value:.{digits}g}" if abs(value) < 1e-2 or abs(value) >= 1e5 else f"{value:.{digits}f}"
    )


MEASUREMENT_COLUMNS = (
    ("codec", "codec", str),
    ("setting", "setting", str),
    ("ratio", "ratio", lambda v: number(v, 2)),
    ("bits_per_sample", "bits/sample", lambda v: number(v, 3)),
    ("max_abs_error", "max abs error", lambda v: number(v, 3)),
    ("rmse", "RMSE", lambda v: number(v, 3)),
    ("psnr", "PSNR dB", lambda v: number(v, 2)),
    ("prd", "PRD %", lambda v: number(v, 3)),
    ("compress_mbps", "compress MB/s", lambda v: number(v, 1)),
    ("decompress_mbps", "decompress MB/s", lambda v: number(v, 1)),
)


def markdown_table(header: list[str], rows: list[list[str]]) -> list[str]:
    lines = ["| " + " | ".join(header) + " |", "|" + "---|" * len(header)]
    return lines + ["| " + " | ".join(row) + " |" for row in rows]


def measurement_table(measurements: list[Measurement]) -> list[str]:
    header = [title for _, title, _ in MEASUREMENT_COLUMNS]
    rows = [
        [render(getattr(m, field)) for field, _, render in MEASUREMENT_COLUMNS]
        for m in measurements
    ]
    return markdown_table(header, rows)


def headline_rows(report: SignalReport) -> list[list[str]]:
    ours = report.reference
    rows = [
        [
            f"{TESSARINE} (default)",
            ours.setting,
            number(ours.ratio, 2),
            number(ours.psnr, 2),
            number(ours.compress_mbps, 1),
            number(ours.decompress_mbps, 1),
            "1",
            "1",
        ]
    ]
    for peer in report.comparisons:
        near = peer.nearest
        rows.append(
            [
                peer.codec,
                f"nearest: {near.setting} ({number(near.psnr, 2)} dB)",
                number(peer.ratio_at_psnr, 2),
                number(ours.psnr, 2),
                number(near.compress_mbps, 1),
                number(near.decompress_mbps, 1),
                number(speed_ratio(ours.compress_mbps, near.compress_mbps), 2),
                number(speed_ratio(ours.decompress_mbps, near.decompress_mbps), 2),
            ]
        )
    for m in report.measurements:
        if m.lossless:
            rows.append(
                [
                    m.codec,
                    m.setting,
                    number(m.ratio, 2),
                    "inf",
                    number(m.compress_mbps, 1),
                    number(m.decompress_mbps, 1),
                    number(speed_ratio(ours.compress_mbps, m.compress_mbps), 2),
                    number(speed_ratio(ours.decompress_mbps, m.decompress_mbps), 2),
                ]
            )
    return rows


def headline_section(report: SignalReport) -> list[str]:
    if report.reference is None:
        return ["Tessarine's default options were not measured, so there is no headline."]
    header = [
        "codec",
        "setting",
        "ratio",
        "PSNR dB",
        "compress MB/s",
        "decompress MB/s",
        "Tessarine/codec compress speed",
        "Tessarine/codec decompress speed",
    ]
    intro = [
        f"Tessarine with its default options ({DEFAULT_METHOD}, scale {DEFAULT_SCALE}, "
        f"{DEFAULT_CUTOFF}) against each peer at the same PSNR. A peer's ratio is interpolated "
        "on its best settings (bits per sample against PSNR); its speed is that of the setting "
        "nearest in PSNR. n/a: the peer's sweep does not reach that PSNR.",
        "",
    ]
    return intro + markdown_table(header, headline_rows(report))


def quality_range_rows(report: SignalReport) -> list[list[str]]:
    peers = [
        codec for codec in (ZFP, SZ3, DIY) if any(m.codec == codec for m in report.measurements)
    ]
    rows = []
    for ours in pareto_front([m for m in report.measurements if m.codec == TESSARINE]):
        row = [ours.setting, number(ours.psnr, 2), number(ours.ratio, 2)]
        for codec in peers:
            bits = bits_at_psnr([m for m in report.measurements if m.codec == codec], ours.psnr)
            row.append(number(32.0 / bits if bits else None, 2))
        rows.append(row)
    return markdown_table(
        ["Tessarine setting", "PSNR dB", "Tessarine ratio"] + [f"{codec} ratio" for codec in peers],
        rows,
    )


def quality_range_section(report: SignalReport) -> list[str]:
    intro = [
        "Tessarine's best settings over all methods, scales and cutoffs (none of them gives a "
        "higher PSNR for fewer bits), each against the peers' ratio at the same PSNR. "
        "Scale 12 is Tessarine's finest step: it reaches no higher PSNR than its last row.",
        "",
    ]
    return intro + quality_range_rows(report)


def signal_markdown(report: SignalReport, unavailable: dict[str, str]) -> str:
    samples = report.samples
    lines = [
        f"# {report.name}",
        "",
        f"{samples.size:,} samples, range {number(float(samples.min()), 4)} .. "
        f"{number(float(samples.max()), 4)}, {samples.nbytes:,} bytes as float32.",
        f"Plots: [rate-distortion]({report.name}_rd.png), [speed]({report.name}_speed.png).",
        "",
        "## Headline",
        "",
        *headline_section(report),
        "",
        "## Across the quality range",
        "",
        *quality_range_section(report),
        "",
        "## Every setting",
        "",
        *measurement_table(report.measurements),
    ]
    if unavailable:
        lines += ["", "## Not measured", ""]
        lines += [f"- {family}: {why}" for family, why in unavailable.items()]
    if report.failures:
        lines += ["", "## Failed settings", ""] + [f"- {failure}" for failure in report.failures]
    return "\n".join(lines) + "\n"


def write_csv(path: Path, measurements: list[Measurement]) -> None:
    names = [field.name for field in fields(Measurement)]
    with path.open("w", newline="") as stream:
        writer = csv.DictWriter(stream, fieldnames=names)
        writer.writeheader()
        for m in measurements:
            writer.writerow(
                {
                    key: repr(value) if isinstance(value, float) else value
                    for key, value in asdict(m).items()
                }
            )


# ---------------------------------------------------------------------------- plots

TESSARINE_COLOURS = {
    "cdf97": "tab:blue",
    "cdf53": "tab:orange",
    "db4": "tab:green",
    "sym4": "tab:red",
}
PEER_STYLES = {ZFP: ("tab:purple", "s"), SZ3: ("tab:brown", "^"), DIY: ("tab:gray", "D")}
LOSSLESS_STYLES = {ZLIB: "k", ZSTD: "tab:olive"}


def curves(measurements: list[Measurement]) -> dict[str, list[Measurement]]:
    grouped: dict[str, list[Measurement]] = {}
    for m in measurements:
        grouped.setdefault(m.curve, []).append(m)
    return grouped


def best_cutoff_curves(grouped: dict[str, list[Measurement]]) -> dict[str, list[Measurement]]:
    """Each Tessarine method keeps only the cutoff that gives most of its best settings (those
    no setting of the method beats on both size and PSNR); the peers keep their curves."""
    by_method: dict[str, list[str]] = {}
    for label, points in grouped.items():
        if points[0].codec == TESSARINE:
            by_method.setdefault(points[0].setting.split()[0], []).append(label)
    dropped = set()
    for labels in by_method.values():
        front = pareto_front([p for label in labels for p in grouped[label]])
        share = {label: sum(p.curve == label for p in front) for label in labels}
        best = max(labels, key=lambda label: (share[label], -labels.index(label)))
        dropped.update(label for label in labels if label != best)
    return {label: points for label, points in grouped.items() if label not in dropped}


def curve_style(points: list[Measurement]) -> dict[str, Any]:
    codec = points[0].codec
    if codec == TESSARINE:
        method = points[0].setting.split()[0]
        return {
            "color": TESSARINE_COLOURS.get(method, "tab:cyan"),
            "linestyle": "-",
            "marker": "o",
            "markersize": 3,
        }
    colour, marker = PEER_STYLES.get(codec, ("tab:pink", "x"))
    return {"color": colour, "linestyle": "--", "marker": marker, "markersize": 4}


# What each panel puts on its vertical axis.
RD_PANELS = (
    ("psnr", "PSNR (dB) = 20 log10(range / RMSE)", "linear"),
    ("max_abs_error", "max abs error (signal units)", "log"),
)


def plot_panel(
    axes: Any, report: SignalReport, grouped: dict[str, list[Measurement]], quantity: str
) -> bool:
    """Plots one quantity; returns whether any plotted value is above zero."""
    positive = False
    for label, points in grouped.items():
        if points[0].lossless:
            axes.axvline(
                points[0].bits_per_sample,
                color=LOSSLESS_STYLES.get(points[0].codec, "k"),
                linestyle="-.",
                linewidth=1,
                label=f"{label}: {number(points[0].bits_per_sample, 2)} b/s",
            )
            continue
        # Sweep order (scale, bound or step), so a curve that bends back shows it.
        shown = [
            p
            for p in points
            if math.isfinite(getattr(p, quantity))
            and (quantity == "psnr" or getattr(p, quantity) > 0)
        ]
        values = [getattr(p, quantity) for p in shown]
        positive = positive or any(v > 0 for v in values)
        axes.plot([p.bits_per_sample for p in shown], values, label=label, **curve_style(points))
    reference = report.reference
    if reference is not None and getattr(reference, quantity) > 0:
        axes.plot(
            reference.bits_per_sample,
            getattr(reference, quantity),
            "*",
            color="gold",
            markeredgecolor="k",
            markersize=14,
            label="Tessarine default",
            zorder=5,
        )
    return positive


def plot_rate_distortion(pyplot: Any, report: SignalReport, path: Path) -> None:
    grouped = best_cutoff_curves(curves(report.measurements))
    figure, panels = pyplot.subplots(1, 2, figsize=(15, 6))
    for axes, (quantity, label, scale) in zip(panels, RD_PANELS):
        positive = plot_panel(axes, report, grouped, quantity)
        axes.set_xscale("log")
        # A log axis needs something above zero to show (an exactly kept signal has none).
        if positive:
            axes.set_yscale(scale)
        axes.set_xlabel("bits per sample (float32 input = 32)")
        axes.set_ylabel(label)
        axes.grid(True, which="both", alpha=0.3)
    panels[0].set_title(f"{report.name}: PSNR ({report.samples.size:,} samples)")
    panels[1].set_title(f"{report.name}: max abs error")
    panels[1].legend(fontsize=7, loc="upper left", bbox_to_anchor=(1.01, 1.0))
    figure.tight_layout()
    figure.savefig(path, dpi=110)
    pyplot.close(figure)


def speed_entries(report: SignalReport) -> list[tuple[str, Measurement]]:
    """Tessarine's default, each peer at the setting nearest in PSNR, and the lossless codecs."""
    entries = []
    if report.reference is not None:
        entries.append(
            (f"{TESSARINE} {DEFAULT_METHOD} s{DEFAULT_SCALE} {DEFAULT_CUTOFF}", report.reference)
        )
        entries += [(f"{p.codec} (nearest PSNR)", p.nearest) for p in report.comparisons]
    entries += [(m.codec, m) for m in report.measurements if m.lossless]
    return entries


def plot_speed(pyplot: Any, report: SignalReport, path: Path) -> None:
    entries = speed_entries(report)
    labels = [label for label, _ in entries]
    positions = np.arange(len(entries))
    figure, axes = pyplot.subplots(figsize=(9, 1.2 + 0.6 * len(entries)))
    for offset, field, colour, name in (
        (-0.2, "compress_mbps", "tab:blue", "compress"),
        (0.2, "decompress_mbps", "tab:orange", "decompress"),
    ):
        values = [getattr(m, field) for _, m in entries]
        bars = axes.barh(positions + offset, values, height=0.4, color=colour, label=name)
        axes.bar_label(bars, labels=[number(v, 1) for v in values], fontsize=7, padding=2)
    axes.set_yticks(positions, labels, fontsize=8)
    axes.invert_yaxis()
    axes.set_xscale("log")
    axes.set_xlim(right=axes.get_xlim()[1] * 2.5)  # room for the value labels
    axes.set_xlabel("MB/s of float32 samples, one thread (median)")
    axes.set_title(f"{report.name}: speed")
    axes.legend(fontsize=8, loc="upper left", bbox_to_anchor=(1.01, 1.0))
    figure.tight_layout()
    figure.savefig(path, dpi=110)
    pyplot.close(figure)


def load_pyplot(matplotlib: Any | None) -> Any | None:
    if matplotlib is None:
        return None
    matplotlib.use("Agg")
    return importlib.import_module("matplotlib.pyplot")


# ---------------------------------------------------------------------------- summary


def summary_row(report: SignalReport) -> list[str]:
    ours = report.reference
    row = [report.name, number(ours.ratio, 2), number(ours.psnr, 2)]
    by_codec = {p.codec: p for p in report.comparisons}
    for codec in (ZFP, SZ3, DIY):
        row.append(number(by_codec[codec].ratio_at_psnr, 2) if codec in by_codec else "n/a")
    for codec in (ZFP, SZ3):
        near = by_codec[codec].nearest if codec in by_codec else None
        row.append(
            number(speed_ratio(ours.compress_mbps, near.compress_mbps), 2) if near else "n/a"
        )
        row.append(
            number(speed_ratio(ours.decompress_mbps, near.decompress_mbps), 2) if near else "n/a"
        )
    return row


def sweep_name(sweep: Sweep) -> str:
    if sweep == FULL_SWEEP:
        return "full"
    return "quick" if sweep == QUICK_SWEEP else "custom"


def load_average() -> str:
    try:
        return f"{os.getloadavg()[0]:.2f}"
    except OSError:
        return "unknown"


def load_note(at_start: str, at_end: str) -> str:
    """What the load averages say about the timings. The run itself keeps one core busy, so
    a load of about 1 means nothing else ran."""
    try:
        highest = max(float(at_start), float(at_end))
    except ValueError:
        return "unknown: nothing is known about other processes"
    if highest > 1.5:
        return (
            "above the 1 this single-threaded run accounts for: other processes shared the "
            "cores, so every speed is lower and noisier"
        )
    return "about the 1 this single-threaded run accounts for: nothing else was busy"


def summary_markdown(
    reports: list[SignalReport], peers: Peers, sweep: Sweep, load_at_start: str
) -> str:
    header = [
        "signal",
        "Tessarine ratio",
        "PSNR dB",
        "zfp ratio",
        "SZ3 ratio",
        "pywt+zlib ratio",
        "speed vs zfp (comp)",
        "(decomp)",
        "speed vs SZ3 (comp)",
        "(decomp)",
    ]
    rows = [summary_row(r) for r in reports if r.reference is not None]
    versions = ", ".join(f"{name} {version}" for name, version in package_versions().items())
    load_at_end = load_average()
    lines = [
        "# Summary",
        "",
        f"Run on {date.today().isoformat()}: {cpu_model()}, {os.cpu_count()} cores, "
        f"Python {platform.python_version()}; {versions}.",
        f"Sweep: {sweep_name(sweep)}, "
        f"median of {sweep.repeats} timed runs per setting, one thread. One-minute load average "
        f"{load_at_start} at the start, {load_at_end} at the end "
        f"({load_note(load_at_start, load_at_end)}).",
        "",
        f"Tessarine's default options ({DEFAULT_METHOD}, scale {DEFAULT_SCALE}, {DEFAULT_CUTOFF}); "
        "peer ratios are at the same PSNR, interpolated on each peer's best settings; speed "
        "ratios are Tessarine's throughput divided by the peer's at its setting nearest in PSNR "
        "(above 1: Tessarine is faster).",
        "",
        *markdown_table(header, rows),
    ]
    if not rows:
        lines += ["", "No signal has a measurement of Tessarine's default options."]
    if peers.unavailable:
        lines += ["", "Not measured:", ""]
        lines += [f"- {family}: {why}" for family, why in peers.unavailable.items()]
    return "\n".join(lines) + "\n"
