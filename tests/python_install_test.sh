#!/bin/sh
# Usage: python_install_test.sh PYTHON CMAKE BUILD_DIR SOURCE_DIR WORK_DIR SITE_DIR VERSION
# Installs the Python package both ways and uses it: with cmake --install into a scratch
# prefix (the package in SITE_DIR below it, found by the installed library's loader path), and
# with pip, without a network, into a virtual environment with the system's setuptools.
set -eu
python=$1 cmake=$2 build=$3 source=$4 work=$5 site=$6 version=$7
rm -rf "$work"
mkdir -p "$work"
cd "$work"  # never the source folder, whose package would stand in for the installed one
prefix=$work/prefix
"$cmake" --install "$build" --prefix "$prefix" >/dev/null
test -f "$prefix/$site/pdfrepair/__init__.py" && test -f "$prefix/$site/pdfrepair/__main__.py"
libdir=$(dirname "$(find "$prefix" -name 'libtovalund-pdfrepair.so' | head -n 1)")
example=$source/examples/wrong-length.pdf

status=0
PYTHONPATH=$prefix/$site LD_LIBRARY_PATH=$libdir "$python" -m pdfrepair check "$example" >check.out || status=$?
test "$status" -eq 1 || { echo "python3 -m pdfrepair check exited $status"; exit 1; }
grep -q '"issues":\["wrong /Length at obj 4"\]' check.out

# pip builds in the folder it is given: a copy, not the work tree.
cp -R "$source/python" source
"$python" -m venv --system-site-packages venv
venv/bin/python -m pip install --quiet --no-index --no-build-isolation ./source
LD_LIBRARY_PATH=$libdir venv/bin/python - "$example" "$version" <<'PYTHON'
import importlib.metadata, os, sys
import pdfrepair
example, version = sys.argv[1:]
assert os.path.realpath(pdfrepair.__file__).startswith(os.path.realpath(sys.prefix)), pdfrepair.__file__
assert importlib.metadata.version("pdfrepair") == version, importlib.metadata.version("pdfrepair")
pdfrepair.fix(example, "fixed.pdf")
assert pdfrepair.check("fixed.pdf")["valid"], pdfrepair.check("fixed.pdf")
PYTHON
cd /
rm -rf "$work"
echo "the Python package installs with cmake --install and with pip, and repairs a file"
