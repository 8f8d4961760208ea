"""EDF, BDF and WFDB recordings through the command line: every EDF file pyedflib ships comes
back byte for byte, WFDB records keep their codes and annotations, --max-error holds in
physical units, and damaged headers end in one line."""

from pathlib import Path

import numpy as np
import pytest

pyedflib = pytest.importorskip("pyedflib")
wfdb = pytest.importorskip("wfdb")

from tessarine_tools.cli import main  # noqa: E402

SHIPPED = sorted(
    {
        p.resolve()
        for p in Path(pyedflib.__file__).parent.rglob("*")
        if p.suffix.lower() in (".edf", ".bdf")
    }
)
SUBSECOND = next(p for p in SHIPPED if p.name == "test_subsecond.edf")  # one channel, gain < 0
MULTIRATE = next(p for p in SHIPPED if p.name == "test_generator.bdf")  # 5 rates, 24-bit


def run(*args):
    return main([str(a) for a in args])


def test_pyedflib_ships_edf_plus_bdf_and_plain_edf():
    assert {"test_generator.bdf", "test_legacy.edf", "test_utf8.edf"} <= {p.name for p in SHIPPED}


@pytest.mark.parametrize("source", SHIPPED, ids=lambda p: f"{p.parent.name}/{p.name}")
def test_every_shipped_file_comes_back_byte_for_byte(source, tmp_path):
    store, back = tmp_path / "rec.zarr", tmp_path / f"back{source.suffix}"
    assert run("compress", source, "-o", store) == 0
    assert run("decompress", store, "-o", back) == 0
    assert back.read_bytes() == source.read_bytes()


def test_store_describes_the_recording(tmp_path):
    import zarr

    assert run("compress", MULTIRATE, "-o", tmp_path / "rec.zarr") == 0
    root = zarr.open_group(tmp_path / "rec.zarr", mode="r")
    reader = pyedflib.EdfReader(str(MULTIRATE))
    rates = sorted({reader.getSampleFrequency(i) for i in range(reader.signals_in_file)})
    arrays = {name: root[name] for name in root.array_keys() if name.endswith("Hz")}
    assert sorted(a.attrs["sample_rate"] for a in arrays.values()) == rates
    assert all(a.dtype == np.int32 for a in arrays.values())  # 24-bit codes
    labels = [c["label"] for c in root.attrs["channels"]]
    assert labels == reader.getSignalLabels()
    assert root.attrs["file_format"] == "bdf+"


def test_annotations_are_readable_attributes(tmp_path):
    import zarr

    assert run("compress", SUBSECOND, "-o", tmp_path / "rec.zarr") == 0
    onsets, durations, texts = pyedflib.EdfReader(str(SUBSECOND)).readAnnotations()
    stored = zarr.open_group(tmp_path / "rec.zarr", mode="r").attrs["annotations"]
    assert [(a["onset"], a["text"]) for a in stored] == list(zip(onsets.tolist(), texts))


def physical(path):
    reader = pyedflib.EdfReader(str(path))
    try:
        return (
            [reader.readSignal(i) for i in range(reader.signals_in_file)],
            reader.getHeader(),
            reader.readAnnotations(),
        )
    finally:
        reader.close()


def two_gains(path):
    """An EDF+ file whose two channels of one rate differ tenfold in gain."""
    writer = pyedflib.EdfWriter(str(path), 2, file_type=pyedflib.FILETYPE_EDFPLUS)
    heads = [
        {
            "label": name,
            "dimension": "uV",
            "sample_frequency": 256,
            "physical_max": top,
            "physical_min": -top,
            "digital_max": 32767,
            "digital_min": -32768,
            "prefilter": "",
            "transducer": "",
        }
        for name, top in (("fine", 100.0), ("coarse", 1000.0))
    ]
    writer.setSignalHeaders(heads)
    t = np.arange(256 * 20)
    codes = [
        np.round(np.sin(t / 7.0) * 20000 + np.random.default_rng(c).normal(0, 50, t.size)).astype(
            np.int32
        )
        for c in range(2)
    ]
    writer.writeSamples(codes, digital=True)
    writer.writeAnnotation(1.5, -1, "mark")
    writer.close()


@pytest.mark.parametrize("make, max_error", [(None, 0.5), (None, 2.0), (two_gains, 0.05)])
def test_max_error_holds_in_physical_units(make, max_error, tmp_path):
    source = tmp_path / "two.edf" if make else SUBSECOND
    if make:
        make(source)
    exact = tmp_path / "exact.zarr"
    assert run("compress", source, "-o", exact) == 0
    assert run("compress", source, "-o", tmp_path / "rec.zarr", "--max-error", max_error) == 0
    assert run("decompress", tmp_path / "rec.zarr", "-o", tmp_path / "back.edf") == 0
    (before, header, notes), (after, header_back, notes_back) = (
        physical(source),
        physical(tmp_path / "back.edf"),
    )
    assert header_back == header and all(map(np.array_equal, notes_back, notes))
    worst = max(float(np.max(np.abs(a - b))) for a, b in zip(before, after))
    assert 0 < worst <= max_error * (1 + 1e-9)
    assert sizes(tmp_path / "rec.zarr") < sizes(exact)


def sizes(folder):
    return sum(f.stat().st_size for f in folder.rglob("*") if f.is_file())


def test_single_channel_to_a_frame_keeps_its_codes(tmp_path):
    assert run("compress", SUBSECOND, "-o", tmp_path / "one.tsrn") == 0
    assert run("decompress", tmp_path / "one.tsrn", "-o", tmp_path / "codes.npy") == 0
    expected = pyedflib.EdfReader(str(SUBSECOND)).readSignal(0, digital=True)
    assert np.array_equal(np.load(tmp_path / "codes.npy"), expected)


def wfdb_record(folder):
    """Two leads in two formats, a second signal at twice the rate, and beat annotations."""
    t = np.arange(3000)
    leads = [np.round(np.sin(t / (9.0 + c)) * 700 + c * 40).astype(np.int64) for c in range(3)]
    record = wfdb.Record(
        record_name="rec",
        n_sig=3,
        fs=250,
        sig_len=1000,
        sig_name=["I", "II", "resp"],
        units=["mV", "mV", "l/s"],
        fmt=["16", "212", "16"],
        adc_gain=[200.0, 150.0, 20.0],
        baseline=[0, 12, -4],
        samps_per_frame=[1, 1, 3],
        comments=["age: 61"],
        e_d_signal=[leads[0][:1000], leads[1][:1000], leads[2]],
        file_name=["rec.dat", "rec_212.dat", "rec_resp.dat"],
    )
    record.set_d_features(expanded=True)
    record.set_defaults()
    record.wrsamp(expanded=True, write_dir=str(folder))
    wfdb.wrann(
        "rec",
        "atr",
        np.array([10, 260, 515]),
        symbol=["N", "V", "N"],
        aux_note=["", "(B", ""],
        write_dir=str(folder),
    )
    return folder / "rec.hea"


def test_wfdb_record_round_trip(tmp_path):
    source = wfdb_record(tmp_path)
    out = tmp_path / "out"
    out.mkdir()
    assert run("compress", source, "-o", tmp_path / "rec.zarr") == 0
    assert run("decompress", tmp_path / "rec.zarr", "-o", out / "back.hea") == 0
    before = wfdb.rdrecord(str(tmp_path / "rec"), physical=False, smooth_frames=False)
    after = wfdb.rdrecord(str(out / "back"), physical=False, smooth_frames=False)
    assert all(map(np.array_equal, after.e_d_signal, before.e_d_signal))
    for name in (
        "fs",
        "sig_name",
        "units",
        "adc_gain",
        "baseline",
        "fmt",
        "samps_per_frame",
        "comments",
    ):
        assert getattr(after, name) == getattr(before, name), name
    notes, back = wfdb.rdann(str(tmp_path / "rec"), "atr"), wfdb.rdann(str(out / "back"), "atr")
    assert np.array_equal(back.sample, notes.sample) and back.symbol == notes.symbol
    assert back.aux_note == notes.aux_note


def damaged(tmp_path):
    data = SUBSECOND.read_bytes()
    cases = {
        "signals.edf": data[:252] + b"x1  " + data[256:],
        "cut.edf": data[:300],
        "short.edf": data[:-100],
        "records.edf": data[:236] + b"abc     " + data[244:],
    }
    for name, content in cases.items():
        (tmp_path / name).write_bytes(content)
    wfdb_record(tmp_path)
    (tmp_path / "bad.hea").write_text("bad 2 250 x\nnonsense\n")
    return [*cases, "bad.hea"]


def test_damaged_headers_end_in_one_line(tmp_path, capsys, monkeypatch):
    monkeypatch.chdir(tmp_path)
    for name in damaged(tmp_path):
        capsys.readouterr()
        assert run("compress", name, "-o", "out.zarr") == 1, name
        out, err = capsys.readouterr()
        assert out == "" and err.count("\n") == 1 and err.startswith(f"tessarine: {name}: "), err
        assert not Path("out.zarr").exists()


@pytest.mark.parametrize(
    "args, message",
    [
        (
            ["compress", MULTIRATE, "-o", "five.tsrn"],
            "five.tsrn: 5 channels with their header need a .zarr or .zarr.zip store",
        ),
        (
            ["decompress", "rec.zarr", "-o", "back.npy"],
            "a recording in BDF+: write it to .edf or .bdf",
        ),
        (
            ["decompress", "rec.zarr", "-o", "back.hea"],
            "a recording in BDF+: write it to .edf or .bdf",
        ),
        (
            ["decompress", "codes.tsrn", "-o", "back.edf"],
            "codes.tsrn holds no EDF or WFDB recording",
        ),
    ],
)
def test_refusals_are_usage_errors(args, message, tmp_path, capsys, monkeypatch):
    monkeypatch.chdir(tmp_path)
    assert run("compress", MULTIRATE, "-o", "rec.zarr") == 0
    assert run("compress", SUBSECOND, "-o", "codes.tsrn") == 0
    capsys.readouterr()
    assert run(*args) == 2
    assert message in capsys.readouterr().err
