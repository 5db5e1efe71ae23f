#!/usr/bin/env bash
# Builds the Debian packages from a build tree and checks them: control
# fields, contents (exactly what each component installs, plus Debian's own
# files), dependencies (no Qt for the command line), lintian, and the desktop
# files as installed.
#
# As root with CI=true (or SIEVETEXT_SYSTEM_PACKAGE_TEST=1) it also installs
# them on this machine as a user would, uses them, purges them and checks
# that nothing of theirs is left; a trap purges them again whatever happens.
#
#   deb_test.sh BUILD_DIR VERSION HOMEPAGE
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../support/xvfb.sh"
build=$(cd "$1" && pwd)
version=$2
homepage=$3
fail() { echo "FAIL: $*" >&2; exit 1; }

work=$(mktemp -d /tmp/sievetext-deb-XXXXXX)
installed_here=""
window_pid=""
cleanup() {
  [ -n "$window_pid" ] && kill "$window_pid" 2>/dev/null || true
  xvfb_stop
  if [ -n "$installed_here" ]; then
    dpkg --purge sievetext-gui sievetext >/dev/null 2>&1 || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
  fail "cpack: $(cat "$work/cpack.log")"
arch=$(dpkg --print-architecture)
cli_deb="$work/out/sievetext_${version}_${arch}.deb"
gui_deb="$work/out/sievetext-gui_${version}_${arch}.deb"
[ -f "$cli_deb" ] && [ -f "$gui_deb" ] || fail "packages not made: $(ls "$work/out")"

field() { dpkg-deb -f "$1" "$2"; }

# Control fields.
for deb in "$cli_deb" "$gui_deb"; do
  [ "$(field "$deb" Version)" = "$version" ] || fail "$deb: version $(field "$deb" Version)"
  [ "$(field "$deb" Homepage)" = "$homepage" ] || fail "$deb: homepage $(field "$deb" Homepage)"
  field "$deb" Maintainer | grep -q '<.*@.*>' || fail "$deb: maintainer"
  [ -n "$(field "$deb" Section)" ] || fail "$deb: no section"
  [ "$(field "$deb" Description | wc -l)" -gt 3 ] || fail "$deb: no long description"
done
[ "$(field "$cli_deb" Package)" = sievetext ] || fail "first package is $(field "$cli_deb" Package)"
[ "$(field "$gui_deb" Package)" = sievetext-gui ] || fail "second package is $(field "$gui_deb" Package)"

# Dependencies come from dpkg-shlibdeps; the command line's name no Qt.
cli_depends=$(field "$cli_deb" Depends)
gui_depends=$(field "$gui_deb" Depends)
echo "sievetext depends: $cli_depends"
echo "sievetext-gui depends: $gui_depends"
echo "$cli_depends" | grep -q 'libc6 (>=' || fail "sievetext: libc6 not found by dpkg-shlibdeps"
if echo "$cli_depends" | grep -qi 'qt'; then fail "sievetext depends on Qt"; fi
echo "$gui_depends" | grep -q "sievetext (= $version)" || fail "sievetext-gui not tied to sievetext $version"
echo "$gui_depends" | grep -q 'libqt6widgets6 (>=' || fail "sievetext-gui: Qt not found by dpkg-shlibdeps"

# Contents: each package holds exactly what its component installs (man pages
# compressed), plus its copyright and change log.
listing() {  # the files and links of a package, one path a line
  dpkg-deb -c "$1" >"$work/contents"
  grep -v '^d' "$work/contents" | awk '{ print $6 }' | sed 's|^\./|/|' | sort
}
component() {  # what `cmake --install --component $1` puts below /usr, plus Debian's files
  local stage="$work/stage-$1"
  DESTDIR="$stage" cmake --install "$build" --component "$1" --prefix /usr >/dev/null
  (cd "$stage" && find . ! -type d | sed 's|^\.||; s|\(/share/man/man[0-9]/.*\)|\1.gz|')
  echo "/usr/share/doc/$2/copyright"
  echo "/usr/share/doc/$2/changelog.gz"
}
listing "$cli_deb" >"$work/cli.have"
listing "$gui_deb" >"$work/gui.have"
component cli sievetext | sort >"$work/cli.want"
component gui sievetext-gui | sort >"$work/gui.want"
diff "$work/cli.want" "$work/cli.have" || fail "sievetext's contents (< expected, > packaged)"
diff "$work/gui.want" "$work/gui.have" || fail "sievetext-gui's contents (< expected, > packaged)"
for path in /usr/bin/sievetext /usr/lib/sievetext/sievetext /usr/lib/sievetext/readme.txt \
            /usr/share/man/man1/sievetext.1.gz /usr/share/bash-completion/completions/sievetext; do
  grep -qx "$path" "$work/cli.have" || fail "sievetext lacks $path"
done
for path in /usr/lib/sievetext/libsievetext_gui.so /usr/share/applications/sievetext.desktop \
            /usr/share/metainfo/com.example.wexa.sievetext.metainfo.xml \
            /usr/share/icons/hicolor/scalable/apps/sievetext.svg \
            /usr/share/icons/hicolor/{16x16,24x24,32x32,48x48,64x64,128x128,256x256}/apps/sievetext.png; do
  grep -qx "$path" "$work/gui.have" || fail "sievetext-gui lacks $path"
done
dpkg-deb -c "$cli_deb" >"$work/contents"
grep -q ' ./usr/bin/sievetext -> ../lib/sievetext/sievetext$' "$work/contents" ||
  fail "/usr/bin/sievetext is not a relative link to the program"

# The desktop files as packaged.
dpkg-deb -x "$gui_deb" "$work/gui"
desktop-file-validate "$work/gui/usr/share/applications/sievetext.desktop" ||
  fail "desktop entry"
icon=$(sed -n 's/^Icon=//p' "$work/gui/usr/share/applications/sievetext.desktop")
for size in scalable/apps/$icon.svg {16x16,32x32,48x48,256x256}/apps/$icon.png; do
  [ -f "$work/gui/usr/share/icons/hicolor/$size" ] || fail "the desktop entry's icon '$icon' lacks $size"
done
appstreamcli validate --no-net "$work/gui/usr/share/metainfo/com.example.wexa.sievetext.metainfo.xml" ||
  fail "AppStream metadata"

# lintian: no errors; its warnings are shown.
lintian --fail-on error --tag-display-limit 0 "$cli_deb" "$gui_deb" ||
  fail "lintian reported errors"

# --- On this machine, as a user would. ---------------------------------------
if [ "$(id -u)" -ne 0 ]; then
  echo "SKIPPED installing the packages on this machine: not root"
  exit 0
fi
if [ "${CI:-}" != true ] && [ "${SIEVETEXT_SYSTEM_PACKAGE_TEST:-}" != 1 ]; then
  echo "SKIPPED installing the packages on this machine: only in CI (CI=true) or with SIEVETEXT_SYSTEM_PACKAGE_TEST=1"
  exit 0
fi
if dpkg-query -W sievetext sievetext-gui >/dev/null 2>&1; then
  echo "SKIPPED installing the packages on this machine: a Sievetext package is installed already"
  exit 0
fi
# Installing must add these two packages and nothing else.
export DEBIAN_FRONTEND=noninteractive
apt-get install -s --no-install-recommends "$cli_deb" "$gui_deb" >"$work/simulate" 2>&1 ||
  fail "apt-get cannot install the packages: $(cat "$work/simulate")"
others=$(grep '^Inst ' "$work/simulate" | awk '{ print $2 }' | grep -vx 'sievetext\|sievetext-gui' || true)
[ -z "$others" ] || fail "installing would also install: $others"

export HOME="$work/home" XDG_CONFIG_HOME="$work/config"
mkdir -p "$HOME" "$XDG_CONFIG_HOME"
installed_here=yes

# The command line alone: it converts, and without arguments says where the
# window is.
apt-get install -y -qq --no-install-recommends "$cli_deb" >"$work/apt.log" 2>&1 ||
  fail "installing sievetext: $(cat "$work/apt.log")"
printf '<p>Caf&eacute; <b>open</b></p>' >"$work/page.html"
/usr/bin/sievetext "$work/page.html" "$work/page.txt" || fail "conversion exited $?"
[ "$(cat "$work/page.txt")" = "Café open" ] || fail "converted to: $(cat "$work/page.txt")"
status=0
/usr/bin/sievetext 2>"$work/nowindow" || status=$?
[ "$status" -eq 2 ] || fail "without the window package, no arguments exited $status"
grep -q 'the window is not installed.*sievetext-gui' "$work/nowindow" ||
  fail "without the window package it said: $(cat "$work/nowindow")"

# The window, started by the desktop entry's command (field codes dropped).
apt-get install -y -qq --no-install-recommends "$cli_deb" "$gui_deb" >"$work/apt.log" 2>&1 ||
  fail "installing sievetext-gui: $(cat "$work/apt.log")"
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

# Purged, nothing of theirs is left; the folders that were theirs alone are gone.
apt-get purge -y -qq sievetext-gui sievetext >"$work/apt.log" 2>&1 ||
  fail "purging: $(cat "$work/apt.log")"
installed_here=""
if dpkg-query -W -f='${Status}\n' sievetext sievetext-gui 2>/dev/null | grep -q ' installed$'; then
  fail "still installed after purging"
fi
while read -r path; do
  if [ -e "$path" ] || [ -L "$path" ]; then fail "left after purging: $path"; fi
done < <(cat "$work/cli.have" "$work/gui.have")
for folder in /usr/lib/sievetext /usr/share/doc/sievetext /usr/share/doc/sievetext-gui; do
  if [ -e "$folder" ]; then fail "left after purging: $folder"; fi
done
echo "deb test passed"
