#!/usr/bin/env bash
# Starts the real program under a private X server, finds its window by its
# title, takes a screenshot, presses "Remove HTML" from the keyboard and sees
# its message come up, closes the window as a window manager would and checks
# that the program ended and saved its options. Then starts it again opened
# with a file ("--window FILE"), chooses the output and converts, all from the
# keyboard.
#
#   window_screenshot_test.sh PROGRAM CLOSE_WINDOW_HELPER
#
# With SIEVETEXT_SCREENSHOT=path the screenshot is also copied there (this is
# how docs/screenshot.png is made).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../support/xvfb.sh"

program=$(readlink -f "$1")
close_window=$2
title='Wexa Sievetext v1.0 Build 20'

work=$(mktemp -d)
program_pid=""
cleanup() {
  [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null || true
  xvfb_stop
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
# Gives a window the keyboard and lets the program take in its activation
# before any key arrives.
focus() {
  xdotool windowfocus --sync "$1"
  sleep 0.3
}
# Waits until no visible window of the program but its main one is left.
others_gone() {
  for _ in $(seq 100); do
    xdotool search --onlyvisible --pid "$program_pid" --name '.' | grep -qvx "$window" || return 0
    sleep 0.1
  done
  return 1
}
# Presses the focused "Remove HTML" with Space, waits for its message box and
# closes that with Return; $1 names the message in a failure.
press_remove_html() {
  local box
  xdotool key space
  box=$(timeout 10 xdotool search --sync --onlyvisible --name '^Sievetext$' | head -n1) ||
    fail "Space on \"Remove HTML\" showed no message; program said: $(cat "$work/program.log")"
  focus "$box"
  xdotool key Return
  others_gone || fail "Return did not close the $1"
}
# Closes the program's window as a window manager would, waits up to twenty
# seconds for the program to end and sets `status` to its exit status.
close_and_wait() {
  "$close_window" "$window"
  for _ in $(seq 200); do
    kill -0 "$program_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$program_pid" 2>/dev/null &&
    fail "the program did not end when its window was closed; it said: $(cat "$work/program.log"); protocols: $(xprop -id "$window" WM_PROTOCOLS 2>&1)"
  status=0
  wait "$program_pid" || status=$?
  program_pid=""
}

# Without any display the program says so and fails, instead of aborting.
status=0
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM HOME="$work" "$program" \
  >/dev/null 2>"$work/nodisplay.log" || status=$?
[ "$status" -eq 2 ] || fail "without a display the program ended with status $status"
grep -q '^sievetext: cannot start the window: no display' "$work/nodisplay.log" ||
  fail "without a display the program said: $(cat "$work/nodisplay.log")"

xvfb_start "$work" || fail "no X server"

mkdir -p "$work/home" "$work/config"
HOME="$work/home" XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=xcb \
  "$program" >"$work/program.log" 2>&1 &
program_pid=$!

window=$(timeout 30 xdotool search --sync --onlyvisible --name "^${title}\$" | head -n1) ||
  fail "no window titled '$title'; program said: $(cat "$work/program.log")"

# Waits until two screenshots in a row agree, so the window has finished
# painting and takes keys.
settled() {
  local previous="" sum
  for _ in $(seq 50); do
    sleep 0.2
    import -window "$1" "$work/shot.png"
    sum=$(md5sum <"$work/shot.png")
    [ "$sum" = "$previous" ] && return 0
    previous=$sum
  done
}
settled "$window"

size=$(identify -format '%wx%h' "$work/shot.png")
[ "$size" = "454x262" ] || fail "screenshot is $size, expected 454x262"
colours=$(identify -format '%k' "$work/shot.png")
[ "$colours" -gt 100 ] || fail "screenshot has only $colours colours"
if [ -n "${SIEVETEXT_SCREENSHOT:-}" ]; then
  cp "$work/shot.png" "$SIEVETEXT_SCREENSHOT"
fi

# Keyboard only: the focus starts on the first option; fifteen steps along
# the focus order reach "Remove HTML", and Space presses it. With no input
# file chosen it says so in a message box.
focus "$window"
for _ in $(seq 15); do xdotool key --window "$window" Tab; done
press_remove_html "message"

close_and_wait
[ "$status" -eq 0 ] || fail "the program ended with status $status"

# Closing saved the options: a first run leaves all eleven ticked.
settings="$work/config/WexaSievetext.ini"
[ -f "$settings" ] || fail "no settings file after closing"
ticked=$(grep -c '=True$' "$settings" || true)
[ "$ticked" -eq 11 ] || fail "expected eleven True keys, found $ticked: $(cat "$settings")"
# and the reading mode off, after them.
[ "$(tail -n1 "$settings")" = "Layout=False" ] || fail "expected Layout=False last: $(cat "$settings")"
# Opened with a file, as a file manager does: "--window FILE", the file
# relative to the working folder. Choose the output from the keyboard (14
# steps reach "Select Output File") and convert (one step on): the output
# holds the text of FILE.
mkdir -p "$work/files"
printf '<html><body><p>Opened &amp; converted</p></body></html>' >"$work/files/page.html"
(cd "$work/files" && HOME="$work/home" XDG_CONFIG_HOME="$work/config" QT_QPA_PLATFORM=xcb \
  exec "$program" --window page.html) >"$work/program.log" 2>&1 &
program_pid=$!
window=$(timeout 30 xdotool search --sync --onlyvisible --name "^${title}\$" | head -n1) ||
  fail "--window FILE showed no window; program said: $(cat "$work/program.log")"
settled "$window"
focus "$window"
for _ in $(seq 14); do xdotool key --window "$window" Tab; done
xdotool key space
# The search also finds the main window at once: wait for another one.
dialog=""
for _ in $(seq 300); do
  dialog=$(xdotool search --onlyvisible --pid "$program_pid" --name '.' | grep -vx "$window" |
    head -n1 || true)
  [ -n "$dialog" ] && break
  sleep 0.1
done
[ -n "$dialog" ] || fail "Space on \"Select Output File\" showed no dialog"
focus "$dialog"
xdotool type --delay 20 "$work/files/out.txt"
xdotool key Return
others_gone || fail "Return did not close the output dialog"
focus "$window"
xdotool key --window "$window" Tab
press_remove_html "\"Done\" message"
[ "$(cat "$work/files/out.txt" 2>/dev/null)" = "Opened & converted" ] ||
  fail "the output holds '$(cat "$work/files/out.txt" 2>/dev/null)'"
close_and_wait
[ "$status" -eq 0 ] || fail "the program opened with a file ended with status $status"
echo "window screenshot test passed"
