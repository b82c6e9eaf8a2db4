#!/bin/sh
# The Python binding as a user installs it: a wheel built from bindings/python's pyproject.toml (with
# Debian's setuptools, no download), installed into an empty folder, and imported from there to
# ask the library (ZUKCNTRL_LIBRARY, the native shared build, loaded with its test controls) its
# version.
#   python_package_test.sh PYTHON SOURCE_FOLDER
set -eu
export PIP_ROOT_USER_ACTION=ignore PIP_DISABLE_PIP_VERSION_CHECK=1
python="$1"
source="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# Built from a copy: setuptools writes build/ and the egg-info beside the sources.
cp -R "$source" "$work/src"
rm -rf "$work/src/tests"
"$python" -m pip wheel --quiet --no-deps --no-build-isolation --no-index -w "$work/wheel" "$work/src"
"$python" -m pip install --quiet --no-deps --no-index --target "$work/site" "$work"/wheel/zukcntrl-*.whl
cd "$work"
PYTHONPATH="$work/site" "$python" - "$work/site" <<'PY'
import os
import sys

import zukcntrl

assert zukcntrl._native.library().ZukTestSetUp(256, 1, 3, None) == 1
assert os.path.dirname(os.path.dirname(zukcntrl.__file__)) == sys.argv[1], zukcntrl.__file__
assert zukcntrl.version() == (3, 1, 0), zukcntrl.version()
print("zukcntrl %d.%d.%d installed from its wheel" % zukcntrl.version())
PY
