# A private X server for the tests that need one; sourced, not run.
#
#   xvfb_start FOLDER   starts Xvfb on a display no one uses, waits until it
#                       takes connections and exports DISPLAY. Its log goes to
#                       FOLDER/xvfb.log; when it does not start, says so on
#                       standard error and returns 1.
#   xvfb_stop           ends it; harmless when it is not running, so it
#                       belongs in the caller's EXIT trap.
xvfb_pid=""

xvfb_start() {
  local folder=$1
  # Xvfb picks a free display itself and writes its number to descriptor 3
  # once it takes connections.
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$folder/display" 2>"$folder/xvfb.log" &
  xvfb_pid=$!
  for _ in $(seq 100); do
    [ -s "$folder/display" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || break  # ended: no display will come
    sleep 0.1
  done
  if [ ! -s "$folder/display" ]; then
    echo "Xvfb did not start: $(cat "$folder/xvfb.log")" >&2
    return 1
  fi
  export DISPLAY=":$(head -n1 "$folder/display")"
}

xvfb_stop() {
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
  fi
  xvfb_pid=""
}
