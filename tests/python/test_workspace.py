"""Workspace end to end on a temporary workspace: registration by extension, status, refresh,
unregistration, invalidation, the with block's batch and the progress callback."""
import threading

import pytest

import svregistration
from conftest import write_sources

SOURCES = {
    "app/PAY.cbl": "       IDENTIFICATION DIVISION.\n       PROGRAM-ID. PAY.\n",
    "app/TAX.cob": "       IDENTIFICATION DIVISION.\n       PROGRAM-ID. TAX.\n",
    "app/copy/REC.cpy": "       01 REC.\n          05 AMOUNT PIC 9(7).\n",
    "app/jcl/NIGHTLY.jcl": "//NIGHTLY JOB (ACCT),'RUN'\n",
    "app/README.md": "not a source\n",
}


@pytest.fixture
def app(tmp_path):
    return write_sources(tmp_path, SOURCES) / "app"


def by_name(run):
    return {result.file.rsplit("/", 1)[-1]: result for result in run}


def test_a_folder_registers_each_file_as_the_type_its_extension_names(workspace, app):
    run = workspace.register(app)
    assert bool(run) and len(run) == 4
    results = by_name(run)
    assert {n: (r.outcome, r.type, r.result) for n, r in results.items()} == {
        "PAY.cbl": ("registered", "COBOL", "rOK"), "TAX.cob": ("registered", "COBOL", "rOK"),
        "REC.cpy": ("registered", "COPYBOOK", "rOK"), "NIGHTLY.jcl": ("registered", "JCL", "rOK")}
    assert run.skipped == [str(app / "README.md")]
    assert run.summary == "4 files: 4 registered; 1 skipped: no type lists .md"
    assert workspace.register(app, type="JCL").summary == "1 file: 1 unchanged; 4 skipped: JCL lists no .cbl, .cob, .cpy, .md"
    objects = {o.name: o for o in workspace.objects()}
    assert objects["PAY.cbl"].id == results["PAY.cbl"].id
    assert (workspace.path / objects["REC.cpy"].source.replace("\\", "/")).read_text() == SOURCES["app/copy/REC.cpy"]
    assert [o.name for o in workspace.objects("COPYBOOK")] == ["REC.cpy"]
    assert "COBOL" in [t.code for t in workspace.types()]


def test_registering_again_reports_unchanged_and_changed_originals(workspace, app):
    workspace.register(app)
    (app / "PAY.cbl").write_text("       IDENTIFICATION DIVISION.\n       PROGRAM-ID. PAY2.\n")
    run = workspace.register(app)
    outcomes = {n: r.outcome for n, r in by_name(run).items()}
    assert outcomes == {"PAY.cbl": "changed", "TAX.cob": "unchanged", "REC.cpy": "unchanged",
                        "NIGHTLY.jcl": "unchanged"}
    assert bool(run)


def test_one_file_with_a_type_and_a_name(workspace, app):
    [result] = workspace.register(app / "PAY.cbl", type="COBOL", name="PAYROLL")
    assert (result.outcome, result.name, result.code) == ("registered", "PAYROLL", svregistration.Result.OK)
    [refused] = workspace.register(app / "README.md", type="COBOL")
    assert (refused.outcome, bool(refused)) == ("refused", False) and ".md" in refused.reason
    with pytest.raises(svregistration.Error) as raised:
        workspace.register(app, name="X")
    assert raised.value.number == 5
    with pytest.raises(svregistration.Error) as raised:
        workspace.register(app, type="NOSUCHTYPE")
    assert raised.value.number == 9
    assert [o.name for o in workspace.objects()] == ["PAYROLL"]


def test_status_and_refresh_bring_a_modified_copy_up_to_date(workspace, app):
    ids = {n: r.id for n, r in by_name(workspace.register(app, encoding=True)).items()}
    assert {s.state for s in workspace.status()} == {"up_to_date"}
    (app / "TAX.cob").write_text("       IDENTIFICATION DIVISION.\n       PROGRAM-ID. TAX3.\n")
    (workspace.path / "Sources" / "COBOL" / "STRAY.cbl").write_text("no object records me\n")
    states = {s.source.replace("\\", "/").rsplit("/", 1)[-1]: s.state for s in workspace.status()}
    assert states["TAX.cob"] == "modified" and states["STRAY.cbl"] == "untracked"
    assert [s.state for s in workspace.status(ids["TAX.cob"])] == ["modified"]

    refreshed = workspace.refresh(ids["TAX.cob"])
    assert refreshed.copied == 1 and refreshed.result & svregistration.Result.OK
    assert [(o.id, o.outcome) for o in refreshed.objects] == [(ids["TAX.cob"], "copied")]
    assert [s.state for s in workspace.status(ids["TAX.cob"])] == ["up_to_date"]
    with pytest.raises(svregistration.Error) as raised:
        workspace.refresh("NOSUCHID")
    assert raised.value.number == 9


def test_a_copy_now_made_differently_is_refreshed_only_when_forced(tmp_path, app):
    # Registered byte for byte, while the options now expand TABs: a refresh would change how
    # the copy is made, so it waits for force.
    svregistration.Workspace.create(tmp_path / "tabs").close()
    options = tmp_path / "tabs" / "options" / "workspace.xml"
    text = options.read_text().replace('ID="ExpandTabs" VALUE="false"', 'ID="ExpandTabs" VALUE="true"')
    assert 'ExpandTabs" VALUE="true"' in text
    options.write_text(text)
    workspace = svregistration.Workspace.open(tmp_path / "tabs")
    (app / "PAY.cbl").write_text("\tPROGRAM-ID. PAY.\n")
    [result] = workspace.register(app / "PAY.cbl")
    (app / "PAY.cbl").write_text("\tPROGRAM-ID. PAY4.\n")
    assert [s.state for s in workspace.status(result.id)] == ["settings_changed"]
    left = workspace.refresh(result.id)
    assert left.copied == 0 and [o.outcome for o in left.objects] == ["settings_changed"]
    assert workspace.refresh(result.id, force=True).copied == 1
    workspace.close()


def test_unregister_names_unknown_ids_and_then_changes_nothing(workspace, app):
    ids = [r.id for r in workspace.register(app)]
    with pytest.raises(svregistration.Error) as raised:
        workspace.unregister([ids[0], "NOSUCHID"])
    assert raised.value.number == 9 and "NOSUCHID" in raised.value.description
    assert len(workspace.objects()) == 4
    copy = workspace.path / workspace.objects()[0].source.replace("\\", "/")
    assert workspace.unregister(ids[0]) == [] and not copy.exists()
    assert workspace.unregister(ids[1:]) == []
    assert workspace.objects() == []


def test_invalidate_deletes_generated_files(workspace, app):
    [result] = workspace.register(app / "PAY.cbl")
    assert workspace.invalidate(result.id) is True
    assert workspace.invalidate([result.id], strong=True) is True
    with pytest.raises(svregistration.Error) as raised:
        workspace.invalidate([result.id, "NOSUCHID"])
    assert raised.value.number == 9


def test_a_with_block_commits_its_changes_together_and_keeps_them_on_an_error(workspace, app):
    ids = [r.id for r in workspace.register(app)]
    with workspace:
        workspace.unregister(ids[0])
        workspace.register(app / "PAY.cbl")
    other = svregistration.Workspace.open(workspace.path)
    assert len(other.objects()) == 4
    with pytest.raises(ZeroDivisionError):
        with workspace:
            workspace.unregister(ids[1])
            1 / 0
    assert len(other.objects()) == 3
    other.close()


def test_progress_is_reported_per_file_and_an_exception_from_it_stops_the_run(workspace, app):
    calls = []

    def progress(done, total):
        calls.append((done, total, len(workspace.objects())))  # the run's own workspace

    workspace.register(app, progress=progress)
    assert [(d, t) for d, t, _ in calls] == [(done, 5) for done in range(1, 6)]  # README.md too
    assert calls[-1][2] == 4

    def stop(done, total):
        raise KeyboardInterrupt

    second = svregistration.Workspace.create(workspace.path.parent / "second")
    with pytest.raises(KeyboardInterrupt):
        second.register(app, progress=stop)
    assert len(second.objects()) == 1  # the file done before the stop is kept
    second.close()


def test_threads_share_a_workspace(workspace, app):
    errors = []

    def register():
        try:
            workspace.register(app)
        except Exception as e:  # noqa: BLE001 - reported below
            errors.append(e)

    threads = [threading.Thread(target=register) for _ in range(3)]
    for t in threads:
        t.start()
    while any(t.is_alive() for t in threads):
        workspace.objects()
    for t in threads:
        t.join()
    assert errors == [] and len(workspace.objects()) == 4


def test_a_closed_workspace_raises(workspace):
    workspace.close()
    with pytest.raises(svregistration.Error) as raised:
        workspace.objects()
    assert raised.value.number == 91


def test_opening_a_folder_that_is_no_workspace_raises(tmp_path):
    with pytest.raises(svregistration.Error) as raised:
        svregistration.Workspace.open(tmp_path)
    assert str(tmp_path) in raised.value.description
