#!/usr/bin/env bash
# Installs the build tree into a temporary prefix and uses the result as a
# user would: the command on the PATH, relative paths taken from the working
# folder, the man page in place. Then the uninstall target takes out exactly
# what was put in, and leaves what was there before.
# Usage: install_test.sh BUILD_DIR
set -euo pipefail
build=$1
prefix=$(mktemp -d /tmp/sievetext-install-XXXXXX)
fail() { echo "FAIL: $*" >&2; exit 1; }

# Somebody else's files in the same prefix, and folders that are there
# though empty (as Debian's /usr/local/share/man is).
mkdir -p "$prefix/bin" "$prefix/share/man/man1" "$prefix/lib" "$prefix/share/applications"
echo other >"$prefix/bin/other-tool"
echo other >"$prefix/share/man/man1/other-tool.1"
entries() { (cd "$prefix" && find . | sort); }
entries >"$prefix.before"
trap 'rm -rf "$prefix" "$prefix".*' EXIT

cmake --install "$build" --prefix "$prefix" >"$prefix.log" 2>&1
# The Python package went where the interpreter does not look: it says where.
if grep -q 'dist-packages/sievetext' "$build/install_manifest.txt"; then
  grep -q "^The Python package sievetext went to $prefix/lib/python3/dist-packages, which .* does not search" \
    "$prefix.log" || fail "the install did not say where the Python package went: $(cat "$prefix.log")"
fi
entries >"$prefix.after"
# The manifest lists every file and link the installation added.
comm -13 "$prefix.before" "$prefix.after" | sed "s|^\.|$prefix|" |
  while read -r path; do [ -d "$path" ] && [ ! -L "$path" ] || echo "$path"; done >"$prefix.added"
sort "$build/install_manifest.txt" | diff "$prefix.added" - ||
  fail "install manifest (>) and installed files (<) differ"

# Every install rule names the package it belongs to.
DESTDIR="$prefix.unspecified" cmake --install "$build" --component Unspecified >/dev/null
[ -z "$(find "$prefix.unspecified" ! -type d 2>/dev/null)" ] ||
  fail "installed without a component: $(find "$prefix.unspecified" ! -type d)"

program="$prefix/lib/sievetext/sievetext"
[ -x "$program" ] || fail "no program at $program"
[ -L "$prefix/bin/sievetext" ] || fail "bin/sievetext is not a symbolic link"
[ "$(readlink -f "$prefix/bin/sievetext")" = "$(readlink -f "$program")" ] || fail "bin/sievetext points elsewhere"
[ -s "$prefix/share/man/man1/sievetext.1" ] || fail "no man page"
grep -q '^\.SH EXIT STATUS' "$prefix/share/man/man1/sievetext.1" || fail "man page lacks exit statuses"
version=$("$program" --version | awk '{ print $NF }')
head -n1 "$prefix/share/man/man1/sievetext.1" | grep -q "\"Sievetext $version\"" ||
  fail "the man page's header is not of version $version: $(head -n1 "$prefix/share/man/man1/sievetext.1")"
completion="$prefix/share/bash-completion/completions/sievetext"
[ -s "$completion" ] || fail "no bash completion"
bash -c "source '$completion' && complete -p sievetext" >/dev/null || fail "completion not registered"

# The command line must not pull in the window system.
if ldd "$program" | grep -qi 'qt'; then fail "the program links Qt"; fi

export XDG_CONFIG_HOME="$prefix/cfg" HOME="$prefix/home"
unset DISPLAY WAYLAND_DISPLAY
PATH="$prefix/bin:$PATH"
sievetext --version | grep -q '^Wexa Sievetext ' || fail "--version"

mkdir "$prefix/work"
printf 'plain words' > "$prefix/work/page.html"
cd "$prefix/work"
sievetext page.html page.txt || fail "conversion through bin/sievetext exited $?"
[ "$(cat "$prefix/work/page.txt")" = "plain words" ] || fail "output not in the working folder"
[ ! -e "$prefix/lib/sievetext/page.txt" ] || fail "relative output went to the program's folder"
[ -s "$prefix/cfg/WexaSievetext.ini" ] || fail "settings not saved"

status=0
sievetext missing.html page.txt 2>/dev/null || status=$?
[ "$status" = 1 ] || fail "missing input exited $status"

# Out again: the user's own files are not the installation's.
cd /
rm -rf "$prefix/cfg" "$prefix/home" "$prefix/work"
cmake --build "$build" --target uninstall >/dev/null
# Files and folders: the folders the installation made are gone with it, the
# ones that were there (empty or not) stay.
entries | diff "$prefix.before" - || fail "after uninstalling (>) the prefix differs from before (<)"
echo "install test passed"
