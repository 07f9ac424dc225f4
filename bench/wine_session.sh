# shellcheck shell=bash
# Sourced by the benchmarks that start Wine programs from Linux (bench/start_from_linux.sh,
# bench/interactions.sh): the Wine processes of this prefix, and ending what a run left.
# Needs WINEPREFIX; fresh_wine_session sets `baseline`, which end_wine_run compares against.

# The Wine processes of this prefix, "PID NAME" a line: listed, never matched by name to end them.
wine_processes() {
  python3 - "$WINEPREFIX" <<'PY'
import os, sys
want = b"WINEPREFIX=" + sys.argv[1].encode()
for pid in filter(str.isdigit, os.listdir("/proc")):
    try:
        if "wine" not in os.readlink("/proc/%s/exe" % pid):
            continue
        if want not in open("/proc/%s/environ" % pid, "rb").read().split(b"\0"):
            continue
        name = open("/proc/%s/cmdline" % pid, "rb").read().split(b"\0")[0].decode(errors="replace")
        print(pid, name)
    except OSError:
        pass
PY
}

# The session every run starts in: a fresh persistent wineserver and the services it starts.
fresh_wine_session() {
  wineserver -k 2>/dev/null
  for _ in $(seq 100); do [ -z "$(wine_processes)" ] && break; sleep 0.1; done
  wineserver -p </dev/null >/dev/null 2>&1  # it outlives the script: no pipe of ours kept open
  wine reg query 'HKCU\Control Panel\Desktop' /v LogPixels >/dev/null 2>&1
  sleep 1
  baseline=$(wine_processes | sort)
  echo "Wine processes up between runs: $(awk '{n = split($2, part, /[\\/]/); printf "%s ", part[n]}' <<<"$baseline")"
}

cleanup_ms=()
# Ends what a Wine run left (the program explorer started), by process id, and waits until only
# the session's processes are left. Prints nothing on success.
end_wine_run() {
  local started=$EPOCHREALTIME now extra pid
  for _ in $(seq 200); do
    now=$(wine_processes | sort)
    extra=$(comm -13 <(echo "$baseline") <(echo "$now"))
    if [ -z "$extra" ]; then
      cleanup_ms+=("$(awk -v a="$started" -v b="$EPOCHREALTIME" 'BEGIN{printf "%.0f", (b-a)*1000}')")
      return 0
    fi
    for pid in $(awk '{print $1}' <<<"$extra"); do kill "$pid" 2>/dev/null; done
    sleep 0.05
  done
  echo "! Wine processes left after a run: $extra" >&2
  return 1
}
