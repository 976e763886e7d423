#!/usr/bin/env bash
# Installs the Python client with pip into a fresh virtual environment with
# no package index (as without a network), then uses it from outside the
# source tree. Usage: pip_install_test.sh PACKAGE_DIR WORK_DIR
set -euo pipefail
package=$1 work=$2
rm -rf "$work"
python3 -m venv "$work/venv"
"$work/venv/bin/pip" install --no-index --disable-pip-version-check -q "$package"
cd "$work"
"$work/venv/bin/python" - <<'PY'
import orvane, pathlib
assert "site-packages" in orvane.__file__, orvane.__file__
frame = orvane.Shape(1, shape_kind=orvane.Shape.KIND_BOX, colour=(255, 0, 0)).encode()
assert frame.hex() == "2400000001000002050100000003010000002c0300000003ff0000000000000000000000", frame.hex()
assert sorted(orvane.KINDS) == list(range(1, len(orvane.KINDS) + 1)) and len(orvane.KINDS) >= 14
print("installed:", orvane.__file__)
PY
