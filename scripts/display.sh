# Sourced by the scripts. vistrel_xvfb starts a private Xvfb and exports DISPLAY;
# vistrel_display keeps a $DISPLAY that answers and falls back to vistrel_xvfb.
vistrel_xvfb() {
  local n
  for n in $(seq 90 140); do
    [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 &
    VISTREL_XVFB_PID=$!
    export DISPLAY=":$n"
    for _ in $(seq 100); do
      xdpyinfo >/dev/null 2>&1 && return 0
      kill -0 "$VISTREL_XVFB_PID" 2>/dev/null || break
      sleep 0.1
    done
  done
  echo "could not start Xvfb" >&2
  return 1
}
vistrel_display() {
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then return 0; fi
  vistrel_xvfb
}
