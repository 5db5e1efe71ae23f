#!/usr/bin/env bash
# Installs the build tree into a temporary prefix and builds a small program
# against the installed library twice, with pkg-config and with CMake's
# find_package; both must run and print the same. Then imports the installed
# Python module, when there is one.
# Usage: install_consumer_test.sh BUILD_DIR CONSUMER_SOURCE_DIR PYTHON VERSION
set -euo pipefail
build=$1
consumer=$2
python=$3
version=$4
scratch=$(mktemp -d /tmp/sievetext-consumer-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
header=$prefix/include/sievetext/sievetext.h
[ -f "$header" ] || fail "no header at $header"
pc=$(find "$prefix" -name sievetext.pc)
[ -n "$pc" ] || fail "no sievetext.pc"
libdir=$(dirname "$(dirname "$pc")")
[ -L "$libdir/libsievetext.so" ] || fail "no libsievetext.so link in $libdir"
[ -n "$(find "$prefix" -name SievetextConfig.cmake)" ] || fail "no CMake package config"

expected=$(printf 'caf\xc3\xa9 \ntwo|1|/nonexistent/page.html: Input file is missing')

# pkg-config, from a folder that is not the prefix (the .pc finds its prefix itself).
export PKG_CONFIG_PATH=$(dirname "$pc")
flags=$(pkg-config --cflags --libs sievetext)
[ "$(pkg-config --modversion sievetext)" = "$version" ] || fail "pkg-config version"
# shellcheck disable=SC2086
c++ -std=c++17 -Wall -Wextra -Werror -o "$scratch/by-pkg-config" "$consumer/consumer.cpp" \
  $flags -Wl,-rpath,"$libdir"
[ "$("$scratch/by-pkg-config")" = "$expected" ] || fail "pkg-config build printed: $("$scratch/by-pkg-config")"

# find_package
cmake -S "$consumer" -B "$scratch/cmake-build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_CXX_STANDARD=17 >/dev/null
cmake --build "$scratch/cmake-build" >/dev/null
[ "$("$scratch/cmake-build/consumer")" = "$expected" ] || fail "find_package build printed: $("$scratch/cmake-build/consumer")"

# The public interface, in its version nodes, is all the library exports:
# SIEVETEXT_1, and SIEVETEXT_1.1 for the two calls whose Options grew; their
# 1.0 forms stay under SIEVETEXT_1 for programs built before.
exported=$(nm -D --defined-only --with-symbol-versions "$libdir/libsievetext.so" | grep ' [TDBVWRiu] ')
others=$(grep -Ev '@@?SIEVETEXT_1(\.1)?$' <<<"$exported" || true)
[ -z "$others" ] || fail "exported outside SIEVETEXT_1 and SIEVETEXT_1.1: $others"
for old in _ZN9sievetext2v17convertB5cxx11ESt17basic_string_viewIcSt11char_traitsIcEERKNS0_7OptionsE \
           _ZN9sievetext2v111convertFileERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEES8_RKNS0_7OptionsE; do
  grep -q " $old@SIEVETEXT_1\$" <<<"$exported" || fail "the 1.0 entry point $old@SIEVETEXT_1 is gone"
done
if nm -DC --defined-only "$libdir/libsievetext.so" | grep -v 'sievetext::v1::' | grep -q ' [TDBVW] '; then
  fail "exported beyond the public interface: $(nm -DC --defined-only "$libdir/libsievetext.so" | grep -v 'sievetext::v1::' | grep ' [TDBVW] ')"
fi

# The installed program runs, and carries the job and the engine itself.
"$prefix/bin/sievetext" --version >/dev/null || fail "the installed program does not start"
if ldd "$prefix/lib/sievetext/sievetext" | grep -q libsievetext; then fail "the program loads libsievetext"; fi

module=$(find "$prefix" -name '_sievetext*.so' -path '*dist-packages/sievetext/*' | head -n 1)
if [ -n "$module" ]; then
  for file in __init__.py __init__.pyi dask.py py.typed; do
    [ -f "$(dirname "$module")/$file" ] || fail "no $file beside the compiled module"
  done
  out=$(cd "$scratch" && PYTHONPATH=$(dirname "$(dirname "$module")") "$python" -c \
    'import sievetext; print(sievetext.convert(b"<b>x</b> &amp; y"), sievetext.__file__)')
  case $out in
    "x & y $prefix"/*) ;;
    *) fail "installed module printed: $out" ;;
  esac
fi
echo "install consumer test passed"
