#!/usr/bin/env bash
# Builds the Debian packages from the tree as Debian builds them
# (scripts/package.sh) and checks them: control fields, dependencies
# between them, contents, lintian (no errors, no warnings), and the desktop
# files as packaged.
#
# As root with CI=true (or SIEVETEXT_SYSTEM_PACKAGE_TEST=1) it also installs
# all five on this machine as a user would, converts through the command
# line, a C++ program built with pkg-config and Python, opens the window
# under Xvfb, purges them and checks that the system is as before; a trap
# purges them again whatever happens.
#
#   deb_test.sh SOURCE_DIR VERSION HOMEPAGE [PACKAGES_DIR]
# With PACKAGES_DIR (holding packages made already) nothing is built.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../support/xvfb.sh"
source_dir=$(cd "$1" && pwd)
version=$2
homepage=$3
fail() { echo "FAIL: $*" >&2; exit 1; }

packages=(sievetext sievetext-gui libsievetext1 libsievetext-dev python3-sievetext)
work=$(mktemp -d /tmp/sievetext-deb-XXXXXX)
installed_here=""
window_pid=""
cleanup() {
  [ -n "$window_pid" ] && kill "$window_pid" 2>/dev/null || true
  xvfb_stop
  if [ -n "$installed_here" ]; then
    dpkg --purge "${packages[@]}" >/dev/null 2>&1 || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

if [ $# -ge 4 ]; then
  out=$(cd "$4" && pwd)
else
  out=$work/out
  "$source_dir/scripts/package.sh" "$out" >"$work/package.log" 2>&1 ||
    fail "scripts/package.sh: $(cat "$work/package.log")"
fi
arch=$(dpkg --print-architecture)
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
declare -A deb
for package in "${packages[@]}"; do
  deb[$package]="$out/${package}_${version}_${arch}.deb"
  [ -f "${deb[$package]}" ] || fail "$package not made: $(ls "$out")"
done

field() { dpkg-deb -f "$1" "$2"; }

# Control fields.
for package in "${packages[@]}"; do
  d=${deb[$package]}
  [ "$(field "$d" Package)" = "$package" ] || fail "$d: package $(field "$d" Package)"
  [ "$(field "$d" Version)" = "$version" ] || fail "$package: version $(field "$d" Version)"
  [ "$(field "$d" Homepage)" = "$homepage" ] || fail "$package: homepage $(field "$d" Homepage)"
  field "$d" Maintainer | grep -q '<.*@.*>' || fail "$package: maintainer"
  [ -n "$(field "$d" Section)" ] || fail "$package: no section"
  [ "$(field "$d" Description | wc -l)" -gt 3 ] || fail "$package: no long description"
done

# Dependencies: the command line needs no Qt and no libsievetext (it carries
# the job itself); the rest hang together by exact version.
depends() { field "${deb[$1]}" Depends; }
for package in "${packages[@]}"; do echo "$package depends: $(depends "$package")"; done
depends sievetext | grep -q 'libc6 (>=' || fail "sievetext: libc6 not found by dpkg-shlibdeps"
if depends sievetext | grep -qi 'qt\|libsievetext'; then fail "sievetext depends on Qt or the library"; fi
depends sievetext-gui | grep -q "sievetext (= $version)" || fail "sievetext-gui not tied to sievetext"
depends sievetext-gui | grep -q 'libqt6widgets6 (>=' || fail "sievetext-gui: Qt not found"
depends libsievetext-dev | grep -q "libsievetext1 (= $version)" || fail "-dev not tied to the library"
depends python3-sievetext | grep -q 'python3' || fail "python3-sievetext: no python3"
[ "$(field "${deb[libsievetext1]}" Multi-Arch)" = same ] || fail "libsievetext1 is not Multi-Arch: same"
# (output taken whole: grep -q would end a pipe early)
shlibs=$(dpkg-deb -I "${deb[libsievetext1]}" shlibs) || fail "libsievetext1 has no shlibs file"
grep -q "^libsievetext 1 libsievetext1 (>= $version)" <<<"$shlibs" || fail "libsievetext1's shlibs: $shlibs"
grep -q 'ldconfig' <<<"$(dpkg-deb -I "${deb[libsievetext1]}" triggers)" ||
  fail "libsievetext1 does not trigger ldconfig"

# Contents.
listing() {  # the files and links of a package, one path a line
  dpkg-deb -c "$1" | grep -v '^d' | awk '{ print $6 }' | sed 's|^\./|/|' | sort
}
for package in "${packages[@]}"; do
  listing "${deb[$package]}" >"$work/$package.have"
  grep -qx "/usr/share/doc/$package/copyright" "$work/$package.have" || fail "$package: no copyright"
done
has() {  # has PACKAGE PATH...
  local package=$1; shift
  for path in "$@"; do
    grep -qx "$path" "$work/$package.have" || fail "$package lacks $path"
  done
}
has sievetext /usr/bin/sievetext /usr/lib/sievetext/sievetext /usr/lib/sievetext/readme.txt \
  /usr/share/man/man1/sievetext.1.gz /usr/share/bash-completion/completions/sievetext
has sievetext-gui /usr/lib/sievetext/libsievetext_gui.so /usr/share/applications/sievetext.desktop \
  /usr/share/metainfo/com.example.wexa.sievetext.metainfo.xml \
  /usr/share/icons/hicolor/scalable/apps/sievetext.svg \
  /usr/share/icons/hicolor/{16x16,24x24,32x32,48x48,64x64,128x128,256x256}/apps/sievetext.png
has libsievetext1 "/usr/lib/$multiarch/libsievetext.so.1" "/usr/lib/$multiarch/libsievetext.so.$version"
has libsievetext-dev /usr/include/sievetext/sievetext.h "/usr/lib/$multiarch/libsievetext.so" \
  "/usr/lib/$multiarch/pkgconfig/sievetext.pc" "/usr/lib/$multiarch/cmake/Sievetext/SievetextConfig.cmake"
python_dir=/usr/lib/python3/dist-packages/sievetext
has python3-sievetext $python_dir/__init__.py $python_dir/__init__.pyi $python_dir/dask.py \
  $python_dir/py.typed
grep -q "^$python_dir/_sievetext\.cpython-.*\.so$" "$work/python3-sievetext.have" ||
  fail "python3-sievetext lacks the compiled module"
grep -q ' ./usr/bin/sievetext -> ../lib/sievetext/sievetext$' <<<"$(dpkg-deb -c "${deb[sievetext]}")" ||
  fail "/usr/bin/sievetext is not a relative link to the program"
# No file is in two packages.
dupes=$(cat "$work"/*.have | sort | uniq -d)
[ -z "$dupes" ] || fail "in more than one package: $dupes"
dpkg-deb -x "${deb[sievetext]}" "$work/cli"
header=$(zcat "$work/cli/usr/share/man/man1/sievetext.1.gz" | head -n1)
grep -q "\"Sievetext $version\"" <<<"$header" || fail "the man page's .TH is not of $version: $header"
grep -q '^License: MIT' "$work/cli/usr/share/doc/sievetext/copyright" || fail "copyright is not MIT"

# The desktop files as packaged.
dpkg-deb -x "${deb[sievetext-gui]}" "$work/gui"
desktop-file-validate "$work/gui/usr/share/applications/sievetext.desktop" || fail "desktop entry"
icon=$(sed -n 's/^Icon=//p' "$work/gui/usr/share/applications/sievetext.desktop")
for size in scalable/apps/$icon.svg {16x16,32x32,48x48,256x256}/apps/$icon.png; do
  [ -f "$work/gui/usr/share/icons/hicolor/$size" ] || fail "the desktop entry's icon '$icon' lacks $size"
done
appstreamcli validate --no-net "$work/gui/usr/share/metainfo/com.example.wexa.sievetext.metainfo.xml" ||
  fail "AppStream metadata"

# lintian: neither errors nor warnings (overrides, each with its reason, in
# debian/*.lintian-overrides).
debs=()
for package in "${packages[@]}"; do debs+=("${deb[$package]}"); done
lintian --fail-on error,warning --tag-display-limit 0 "${debs[@]}" ||
  fail "lintian reported errors or warnings"

# --- On this machine, as a user would. ---------------------------------------
if [ "$(id -u)" -ne 0 ]; then
  echo "SKIPPED installing the packages on this machine: not root"
  exit 0
fi
if [ "${CI:-}" != true ] && [ "${SIEVETEXT_SYSTEM_PACKAGE_TEST:-}" != 1 ]; then
  echo "SKIPPED installing the packages on this machine: only in CI (CI=true) or with SIEVETEXT_SYSTEM_PACKAGE_TEST=1"
  exit 0
fi
if dpkg-query -W "${packages[@]}" >/dev/null 2>&1; then
  echo "SKIPPED installing the packages on this machine: a Sievetext package is installed already"
  exit 0
fi
# The system as it is now: packages, the library cache, the folders of ours.
system_state() {
  dpkg-query -W -f='${Package} ${Version} ${Status}\n' | sort
  ldconfig -p | grep -i sievetext || true
  find /usr /etc -xdev -path '*sievetext*' 2>/dev/null | sort
}
system_state >"$work/before"

# Installing must add these five packages and nothing else.
export DEBIAN_FRONTEND=noninteractive
apt-get install -s --no-install-recommends "${debs[@]}" >"$work/simulate" 2>&1 ||
  fail "apt-get cannot install the packages: $(cat "$work/simulate")"
others=$(grep '^Inst ' "$work/simulate" | awk '{ print $2 }' |
         grep -vx 'sievetext\|sievetext-gui\|libsievetext1\|libsievetext-dev\|python3-sievetext' || true)
[ -z "$others" ] || fail "installing would also install: $others"

export HOME="$work/home" XDG_CONFIG_HOME="$work/config"
mkdir -p "$HOME" "$XDG_CONFIG_HOME"
installed_here=yes

# The command line alone: it converts, and without arguments says where the
# window is.
apt-get install -y -qq --no-install-recommends "${deb[sievetext]}" >"$work/apt.log" 2>&1 ||
  fail "installing sievetext: $(cat "$work/apt.log")"
printf '<p>Caf&eacute; <b>open</b></p>' >"$work/page.html"
/usr/bin/sievetext "$work/page.html" "$work/page.txt" || fail "conversion exited $?"
[ "$(cat "$work/page.txt")" = "Café open" ] || fail "converted to: $(cat "$work/page.txt")"
status=0
/usr/bin/sievetext 2>"$work/nowindow" || status=$?
[ "$status" -eq 2 ] || fail "without the window package, no arguments exited $status"
grep -q 'the window is not installed.*sievetext-gui' "$work/nowindow" ||
  fail "without the window package it said: $(cat "$work/nowindow")"

# All five.
apt-get install -y -qq --no-install-recommends "${debs[@]}" >"$work/apt.log" 2>&1 ||
  fail "installing the packages: $(cat "$work/apt.log")"

# A C++ program built with pkg-config finds the library without a run path.
# shellcheck disable=SC2046
c++ -std=c++17 -Wall -Werror -o "$work/consumer" "$source_dir/tests/library/consumer/consumer.cpp" \
  $(pkg-config --cflags --libs sievetext) || fail "the consumer does not build"
[ "$(pkg-config --modversion sievetext)" = "$version" ] || fail "pkg-config version"
expected=$(printf 'caf\xc3\xa9 \ntwo|1|/nonexistent/page.html: Input file is missing')
[ "$("$work/consumer")" = "$expected" ] || fail "the consumer printed: $("$work/consumer")"

# Debian's Python.
out=$(cd "$work" && /usr/bin/python3 -c '
import sievetext
print(sievetext.convert(b"<b>x</b> &amp; y"), sievetext.__version__, sievetext.__file__)')
[ "$out" = "x & y $version $python_dir/__init__.py" ] || fail "python3 printed: $out"

# The window, started by the desktop entry's command (field codes dropped).
command=$(sed -n 's/^Exec=//p' /usr/share/applications/sievetext.desktop | head -n1 |
          sed 's/ *%[fFuUick]//g')
[ -n "$command" ] || fail "no Exec line in the installed desktop entry"
xvfb_start "$work" || fail "no X server"
# The command is looked up on the PATH, as the desktop does.
PATH=/usr/bin:/bin QT_QPA_PLATFORM=xcb $command >"$work/window.log" 2>&1 &
window_pid=$!
timeout 30 xdotool search --sync --onlyvisible --name '^Wexa Sievetext ' >/dev/null ||
  fail "'$command' showed no window; it said: $(cat "$work/window.log")"
kill -0 "$window_pid" || fail "the window's program ended early"
kill "$window_pid"
wait "$window_pid" 2>/dev/null || true
window_pid=""

# Purged, the system is as it was.
apt-get purge -y -qq "${packages[@]}" >"$work/apt.log" 2>&1 || fail "purging: $(cat "$work/apt.log")"
installed_here=""
system_state >"$work/after"
diff "$work/before" "$work/after" || fail "after purging (>) the system differs from before (<)"
for package in "${packages[@]}"; do
  while read -r path; do
    if [ -e "$path" ] || [ -L "$path" ]; then fail "left after purging: $path"; fi
  done <"$work/$package.have"
done
echo "deb test passed"
