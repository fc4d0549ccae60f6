"""Shared fixtures of the Python module's tests: a fresh workspace, sources, the shared data."""
import os
import pathlib

import pytest

import svregistration

SHARED = pathlib.Path(os.environ.get("SVREG_SHARED_DIR", pathlib.Path(__file__).parents[3] / "shared"))


@pytest.fixture
def workspace(tmp_path):
    ws = svregistration.Workspace.create(tmp_path / "ws")
    yield ws
    ws.close()


@pytest.fixture
def fixtures():
    folder = SHARED / "fixtures"
    if not folder.is_dir():
        pytest.skip(f"the shared fixtures are not at {folder}")
    return folder


def write_sources(folder, files):
    """Writes {relative name: text} below `folder` and answers the folder."""
    for name, text in files.items():
        path = folder / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text(text)
    return folder
