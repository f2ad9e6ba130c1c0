#!/bin/sh
# pip installs the package from the source tree (SOURCE) into a new virtual environment of
# PYTHON that sees the system's packages, offline, with the system's build tools; the package
# imports there, and mypy takes its types from it. WORK is emptied first.
set -eu
python=$1 source=$2 work=$3
rm -rf "$work"
mkdir -p "$work"
cd "$work"
"$python" -m venv --system-site-packages venv
Q390_PYTHON_BUILD="$work/build" venv/bin/pip install -q --no-build-isolation --no-index "$source"
venv/bin/python -c 'import q390, sys; assert q390.__file__.startswith(sys.prefix), q390.__file__; q390.Device().sweep()'
venv/bin/python -c 'import q390, importlib.metadata as m; assert q390.__version__ == m.version("q390"), q390.__version__'
printf 'import q390\nreveal_type(q390.Device().sweep().times)\n' >typed.py
mypy --python-executable venv/bin/python --no-incremental --cache-dir=/dev/null typed.py >mypy.txt || true
cat mypy.txt
grep -q 'Revealed type is "Union\[numpy.ndarray\[.*numpy.float.*, None\]"' mypy.txt
