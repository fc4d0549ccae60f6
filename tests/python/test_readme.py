"""The README's Python example, run as a script on a workspace and a folder of sources."""
import pathlib
import re
import subprocess
import sys

import svregistration
from conftest import write_sources

README = pathlib.Path(__file__).parents[2] / "README.md"


def test_the_readme_example_registers_a_folder_and_prints_what_changed(tmp_path):
    section = README.read_text().split("\n## Python\n", 1)[1]
    example = re.search(r"```python\n(.*?)```", section, re.S).group(1)
    assert len(example.strip().splitlines()) <= 10
    script = tmp_path / "example.py"
    script.write_text(example)
    svregistration.Workspace.create(tmp_path / "shop").close()
    app = write_sources(tmp_path, {"app/PAY.cbl": "       PROGRAM-ID. PAY.\n",
                                   "app/REC.cpy": "       01 REC.\n"}) / "app"

    def run():
        return subprocess.run([sys.executable, script, tmp_path / "shop", app], check=True,
                              capture_output=True, text=True).stdout.splitlines()

    first = run()
    assert [line.split()[0] for line in first[:-1]] == ["registered", "registered"]
    assert first[-1].startswith("2 files: 2 registered")
    (app / "PAY.cbl").write_text("       PROGRAM-ID. PAY2.\n")
    second = run()
    assert len(second) == 2 and second[0].startswith("changed") and "PAY.cbl" in second[0]
