"""The command line with channels coded together: a store's chunks hold every channel, info
describes them from their headers, and a group of arrays (a recording of several rates) too."""

import json

import numpy as np
import pyedflib

from tessarine_tools.cli import main


def test_a_store_codes_its_channels_together_and_info_reads_them(tmp_path, monkeypatch, capsys):
    monkeypatch.chdir(tmp_path)
    walks = np.cumsum(np.random.default_rng(2).integers(-3, 4, (2, 5000)), axis=1)
    x = np.stack([walks[0], walks[1], walks[1] - walks[0]]).astype(np.int16)
    np.save("rec.npy", x)
    assert main(["compress", "rec.npy", "-o", "rec.zarr", "--lossless"]) == 0
    capsys.readouterr()
    assert main(["info", "rec.zarr", "--json"]) == 0
    report = json.loads(capsys.readouterr().out)
    assert report["chunk_shape"][0] == 3
    sizes = [c["stored_bytes"] for c in report["channels"]]
    assert sizes[2] < sizes[0] / 20  # the derived channel costs almost nothing
    assert main(["decompress", "rec.zarr", "-o", "back.npy"]) == 0
    np.testing.assert_array_equal(np.load("back.npy"), x)


def test_info_describes_a_recording_of_several_arrays(tmp_path, monkeypatch, capsys):
    monkeypatch.chdir(tmp_path)
    with pyedflib.EdfWriter("two.edf", 2, file_type=pyedflib.FILETYPE_EDFPLUS) as edf:
        for channel, rate in enumerate((100, 50)):
            edf.setSignalHeader(
                channel,
                {
                    "label": f"c{channel}",
                    "dimension": "uV",
                    "sample_frequency": rate,
                    "physical_max": 100,
                    "physical_min": -100,
                    "digital_max": 32767,
                    "digital_min": -32768,
                },
            )
        edf.writeSamples([np.sin(np.arange(1000) / 9) * 50, np.cos(np.arange(500) / 5) * 50])
    assert main(["compress", "two.edf", "-o", "two.zarr"]) == 0
    capsys.readouterr()
    assert main(["info", "two.zarr"]) == 0
    text = capsys.readouterr().out
    assert "zarr group of" in text and "100Hz" in text and "50Hz" in text


def test_channels_go_into_one_tsrn_frame_under_a_bound(tmp_path, monkeypatch, capsys):
    monkeypatch.chdir(tmp_path)
    x = np.cumsum(np.random.default_rng(5).integers(-3, 4, (3, 4000)), axis=1).astype(np.int16)
    np.save("rec.npy", x)
    assert main(["compress", "rec.npy", "-o", "settings.tsrn", "--scale", "9"]) == 2
    assert main(["compress", "rec.npy", "-o", "rec.tsrn", "--max-error", "2"]) == 0
    assert main(["decompress", "rec.tsrn", "-o", "back.npy"]) == 0
    back = np.load("back.npy")
    assert back.shape == x.shape and np.abs(back.astype(int) - x).max() <= 2
