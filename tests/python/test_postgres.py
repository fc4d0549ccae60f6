"""A workspace whose repository is a database on the suite's throwaway PostgreSQL server."""
import os
import pathlib
import subprocess

import pytest

import svregistration


@pytest.fixture
def database():
    file = pathlib.Path(os.environ.get("SVREG_TEST_POSTGRES_FILE", "/nonexistent"))
    if not file.exists():
        if os.environ.get("SVREG_REQUIRE_POSTGRES"):
            pytest.fail("no PostgreSQL server")
        pytest.skip("no PostgreSQL server for the tests")
    folder = file.read_text().strip()
    name = f"python{os.getpid()}"
    subprocess.run(["createdb", "-h", folder, "-U", "postgres", name], check=True)
    return f"postgresql:///{name}?host={folder}&user=postgres"


def test_a_workspace_keeps_its_repository_on_the_server(tmp_path, database):
    source = tmp_path / "PAY.cbl"
    source.write_text("       PROGRAM-ID. PAY.\n")
    workspace = svregistration.Workspace.create(tmp_path / "team", repository=database)
    [result] = workspace.register(source)
    workspace.close()
    assert not (tmp_path / "team" / "workspace.db").exists()
    reopened = svregistration.Workspace.open(tmp_path / "team")
    assert [(o.id, o.name) for o in reopened.objects()] == [(result.id, "PAY.cbl")]
    reopened.close()
