#!/bin/sh
# The Python package as a user gets it: `pip install --no-build-isolation .`
# into a virtual environment (offline, with the system's setuptools and
# wheel), from a copy of the source tree that is deleted afterwards; then the
# package must work from another folder, with its own library inside it.
# usage: python_package_test.sh PYTHON SOURCE_DIR WORK_DIR
set -eu
python=$1 src=$2 work=$3
rm -rf "$work"
mkdir -p "$work/src" "$work/elsewhere"
tar -C "$src" --exclude='./build*' --exclude=./.git --exclude=./demo-out \
    --exclude='./examples/node/node_modules' -cf - . | tar -C "$work/src" -xf -
"$python" -m venv --system-site-packages "$work/venv"
"$work/venv/bin/python" -m pip install --quiet --no-build-isolation --no-index "$work/src"
rm -rf "$work/src"

cd "$work/elsewhere"
env -u MASKJPEG_LIBRARY -u LD_LIBRARY_PATH -u PYTHONPATH "$work/venv/bin/python" - "$src" <<'PY'
import os, re, sys
import maskjpeg

src = sys.argv[1]
here = os.path.dirname(maskjpeg.__file__)
assert "site-packages" in here, here
lib = maskjpeg._library()
assert os.path.dirname(lib.path) == here, "library loaded from %s, not the package" % lib.path
assert os.path.isfile(os.path.join(here, "py.typed"))
with open(os.path.join(src, "include", "maskjpeg.h")) as header:
    text = header.read()
version = ".".join(re.search(r"VERSION_%s (\d+)" % p, text).group(1) for p in ("MAJOR", "MINOR", "PATCH"))
assert maskjpeg.__version__ == version, (maskjpeg.__version__, version)

mask = bytes.fromhex("17 E4 03 1B 02 FF FE 11 00 00")
stored = bytes.fromhex("FF D8 FF A0 FF DA 00 09 03 01 00 02 11 03 11 12 FF 34 FF D9")
assert list(maskjpeg.decode_mask(mask, 5, 3)[3::4]) == [0, 1, 1, 128, 128, 128, 1, 1, 0, 1, 128, 128, 128, 128, 1]
assert maskjpeg.repair_jpeg(stored).hex() == "ffd8ffda000c03010002110311003f0012ff0034ffd9"
try:
    import numpy
except ImportError:
    numpy = None
if numpy is not None:
    assert maskjpeg.decode_mask_array(mask, 5, 3).shape == (3, 5, 4)
try:
    maskjpeg.repair_jpeg(b"\x00")
    raise AssertionError("a non-JPEG was accepted")
except ValueError:
    pass

# A platform wheel with the library inside, for any Python 3.
from importlib import metadata
dist = metadata.distribution("maskjpeg")
files = [str(f) for f in dist.files]
assert any(f.endswith("maskjpeg/" + maskjpeg.SONAME) for f in files), files
tags = [line for line in dist.read_text("WHEEL").splitlines() if line.startswith("Tag:")]
assert len(tags) == 1 and tags[0].startswith("Tag: py3-none-") and not tags[0].endswith("-any"), tags
print("installed package works:", lib.path, maskjpeg.__version__, tags[0])
PY

# The package's own library comes first, before MASKJPEG_LIBRARY.
MASKJPEG_LIBRARY=/nonexistent/libmaskjpeg.so.1 "$work/venv/bin/python" -c \
  'import maskjpeg, os; assert os.path.dirname(maskjpeg._library().path) == os.path.dirname(maskjpeg.__file__)'
