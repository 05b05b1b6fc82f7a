# Sourced by the scripts that need a private X server. start_private_xvfb WORKDIR [SIZE] starts
# Xvfb on a free display, waits until it accepts connections and sets server_pid and display;
# stop_private_xvfb kills it by its pid.
server_pid=
display=

start_private_xvfb() {
  local work=$1 size=${2:-800x800}
  # Xvfb writes its display number to descriptor 3 once it accepts connections.
  Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
  server_pid=$!
  for _ in $(seq 100); do
    grep -q . "$work/display" 2>/dev/null && break
    kill -0 "$server_pid" 2>/dev/null || { echo "Xvfb did not start" >&2; return 1; }
    sleep 0.1
  done
  display=":$(head -n 1 "$work/display")"
  [ "$display" != ":" ] || { echo "Xvfb did not report its display" >&2; return 1; }
}

stop_private_xvfb() {
  [ -n "$server_pid" ] || return 0
  kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  server_pid=
  return 0
}
