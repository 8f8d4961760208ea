"""Every public name of tessarine_tools is documented in numpydoc style, and every example in
the package's docstrings runs as shown."""

import doctest
import importlib
import pkgutil

import pytest

import tessarine_tools
from tessarine_tools.cli import main
from tessarine_tools.codec import Tessarine
from tessarine_tools.zarr3 import TessarineCodec

PUBLIC = [getattr(tessarine_tools, n) for n in tessarine_tools.__all__] + [
    Tessarine,
    TessarineCodec,
    main,
]
MODULES = [
    m.name
    for m in pkgutil.walk_packages(tessarine_tools.__path__, "tessarine_tools.")
    if not m.name.endswith("__main__")
]  # importing it runs the command


@pytest.mark.parametrize("public", PUBLIC, ids=lambda p: p.__name__)
def test_public_names_are_documented(public):
    text = public.__doc__ or ""
    sections = ["Examples\n    --------"] + (
        [] if public is tessarine_tools.ContainerInfo else ["Parameters\n    ----------"]
    )
    assert all(section in text for section in sections), public.__name__


@pytest.mark.parametrize("name", MODULES)
def test_docstring_examples_run(name, tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)  # examples that write files write here
    failed, _ = doctest.testmod(importlib.import_module(name), optionflags=doctest.ELLIPSIS)
    assert failed == 0
