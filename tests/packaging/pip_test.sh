#!/usr/bin/env bash
# The Python package as pip users get it: installed offline with Debian's
# build tools into a fresh virtual environment, used, and checked by mypy on
# a small typed program (a wrong call must be caught too); then a wheel made
# by `python3 -m build --no-isolation`.
#   pip_test.sh SOURCE_DIR VERSION
set -euo pipefail
source_dir=$(cd "$1" && pwd)
version=$2
fail() { echo "FAIL: $*" >&2; exit 1; }
work=$(mktemp -d /tmp/sievetext-pip-XXXXXX)
trap 'rm -rf "$work"' EXIT

# A copy of the tree, so that nothing is built inside it.
mkdir "$work/src"
(cd "$source_dir" && git ls-files -z --cached --others --exclude-standard |
  tar --null -T - --ignore-failed-read -cf - 2>/dev/null) | tar -xf - -C "$work/src"

# Debian's setuptools, wheel, pybind11 and mypy come from the system.
/usr/bin/python3 -m venv --system-site-packages "$work/venv"
python=$work/venv/bin/python
"$python" -m pip install --no-build-isolation --no-index "$work/src" >"$work/pip.log" 2>&1 ||
  fail "pip install: $(tail -n 40 "$work/pip.log")"
shown=$("$python" -m pip show sievetext)
grep -qx "Version: $version" <<<"$shown" || fail "pip show: $shown"
grep -qx "License: MIT" <<<"$shown" || fail "no MIT licence in the metadata: $shown"

cd "$work"
out=$("$python" -c '
import sievetext
print(sievetext.convert(b"<b>x</b> &amp; y"), sievetext.__version__, sievetext.__file__)')
case $out in
  "x & y $version $work/venv/lib/python3"*/site-packages/sievetext/__init__.py) ;;
  *) fail "the installed package printed: $out" ;;
esac

cat >"$work/user.py" <<'PY'
import sievetext


def text_of(html: bytes) -> str:
    return sievetext.convert(html, RemoveAllCRLF=False, lf=True)


def save(src: str, dst: str) -> None:
    sievetext.convert_file(src, dst, RemoveSpaces=False)


names: tuple[str, ...] = sievetext.OPTIONS
version: str = sievetext.__version__
print(text_of(b"<p>one</p>"), len(names), version)
PY
"$python" "$work/user.py" | grep -qx "one 11 $version" || fail "user.py printed: $("$python" "$work/user.py")"
"$python" -m mypy --strict --no-incremental "$work/user.py" >"$work/mypy.log" 2>&1 ||
  fail "mypy on a correct program: $(cat "$work/mypy.log")"
cat >"$work/wrong.py" <<'PY'
import sievetext

count: int = sievetext.convert(b"x", RemoveScript=False)
PY
if "$python" -m mypy --strict --no-incremental "$work/wrong.py" >"$work/mypy.log" 2>&1; then
  fail "mypy found nothing wrong in wrong.py"
fi
grep -q 'Unexpected keyword argument "RemoveScript"' "$work/mypy.log" || fail "mypy said: $(cat "$work/mypy.log")"
grep -q 'Incompatible types in assignment' "$work/mypy.log" || fail "mypy said: $(cat "$work/mypy.log")"

# A source distribution and a wheel built from it, by Debian's build front
# end without isolation.
(cd "$work/src" && /usr/bin/python3 -m build --no-isolation --outdir "$work/dist" \
  >"$work/build.log" 2>&1) || fail "python3 -m build: $(tail -n 40 "$work/build.log")"
[ -f "$work/dist/sievetext-$version.tar.gz" ] || fail "no source distribution: $(ls "$work/dist")"
wheel=$(ls "$work/dist"/sievetext-"$version"-*.whl) || fail "no wheel: $(ls "$work/dist")"
/usr/bin/python3 -m zipfile -l "$wheel" >"$work/wheel.list"
for file in sievetext/__init__.py sievetext/__init__.pyi sievetext/dask.py sievetext/py.typed; do
  grep -q "^$file " "$work/wheel.list" || fail "the wheel lacks $file"
done
grep -q '^sievetext/_sievetext\..*\.so ' "$work/wheel.list" || fail "the wheel lacks the compiled part"
echo "pip test passed"
