"""cmake --install puts the package, its stubs and the libraries it needs where the interpreter
finds them: the installed module imports with nothing but the prefix's site-packages on the path."""
import os
import pathlib
import re
import subprocess
import sys

import pytest


def test_the_installed_package_imports_from_the_prefix(tmp_path):
    build = os.environ.get("SVREG_BUILD_DIR")
    if not build:
        pytest.skip("SVREG_BUILD_DIR names no build folder")
    cache = (pathlib.Path(build) / "CMakeCache.txt").read_text()
    site = re.search(r"^SVREG_PYTHON_INSTALL_DIR:STRING=(.*)$", cache, re.M).group(1)
    subprocess.run(["cmake", "--install", build, "--prefix", tmp_path], check=True,
                   capture_output=True)
    package = tmp_path / site / "svregistration"
    assert {"__init__.py", "__init__.pyi", "py.typed"} <= {p.name for p in package.iterdir()}
    env = {k: v for k, v in os.environ.items() if k not in ("PYTHONPATH", "LD_LIBRARY_PATH")}
    env["PYTHONPATH"] = str(tmp_path / site)
    found = subprocess.run([sys.executable, "-c", "import svregistration; print(svregistration.__file__);"
                            "print(svregistration.CCSID.from_icu('ibm-37').to_unicode(b'\\xc1\\xc2'))"],
                           env=env, check=True, capture_output=True, text=True).stdout.split()
    assert found == [str(package / "__init__.py"), "AB"]


def test_the_stubs_name_what_the_module_has():
    import ast
    import svregistration

    stubs = ast.parse((pathlib.Path(svregistration.__file__).parent / "__init__.pyi").read_text())
    per_instance = {("Error", "number"), ("Error", "source"), ("Error", "description"),
                    ("Error", "registration"), ("Registration", "type")}
    missing = []
    for node in (n for n in stubs.body if isinstance(n, ast.ClassDef)):
        cls = getattr(svregistration, node.name, None)
        for item in node.body:
            name = (item.name if isinstance(item, ast.FunctionDef) else
                    item.target.id if isinstance(item, ast.AnnAssign) else
                    item.targets[0].id if isinstance(item, ast.Assign) else None)
            if cls is None or (name and (node.name, name) not in per_instance and not hasattr(cls, name)):
                missing.append(f"{node.name}.{name}")
    assert missing == []
