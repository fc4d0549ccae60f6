# Finds what the Python module needs: an interpreter with its development files, and pybind11.
# The interpreter is Debian's /usr/bin/python3 unless Python_EXECUTABLE names another: a python3
# earlier on PATH (pyenv, a virtual environment) often has neither pybind11 nor pytest, and the
# module only loads into the interpreter it was built for. Sets SVREG_PYTHON_FOUND.
if(NOT DEFINED Python_EXECUTABLE AND EXISTS /usr/bin/python3)
  set(Python_EXECUTABLE /usr/bin/python3 CACHE FILEPATH "The interpreter the Python module is for")
endif()
find_package(Python 3.8 QUIET COMPONENTS Interpreter Development.Module)
set(PYBIND11_FINDPYTHON ON)
if(Python_FOUND)
  find_package(pybind11 2.6 CONFIG QUIET)
endif()
if(Python_FOUND AND pybind11_FOUND)
  set(SVREG_PYTHON_FOUND ON)
else()
  set(SVREG_PYTHON_FOUND OFF)
endif()
