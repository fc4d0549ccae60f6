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
