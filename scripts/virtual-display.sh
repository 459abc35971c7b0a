# Sourced: starts an Xvfb on the first free display number and exports
# DISPLAY for it; XVFB_PID names the server, for the caller to stop.
# Wine's windows need an X display, and tests must not open theirs on the
# user's screen.
start_virtual_display() {
  local n=90
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  XVFB_PID=$!
  local tries=0
  until [ -e "/tmp/.X11-unix/X$n" ]; do
    tries=$((tries + 1))
    if [ $tries -gt 100 ] || ! kill -0 "$XVFB_PID" 2>/dev/null; then
      echo "cannot start Xvfb on :$n" >&2
      return 1
    fi
    sleep 0.1
  done
  export DISPLAY=":$n"
}
