# Sourced by the viewer's test and demo. viewer_window TEXT SECONDS prints the X window of
# pagehull-view whose caption holds TEXT, waiting for it up to SECONDS. The class tells it from
# the host's own hidden window, whose caption holds the address too; windows that go while they
# are looked at (Wine's own, at start-up) are passed over.
viewer_window() {
  local end=$((SECONDS + $2)) id
  while [ $SECONDS -lt $end ]; do
    for id in $(xdotool search --class '^pagehull-view\.exe$' 2>/dev/null); do
      if [[ "$(xdotool getwindowname "$id" 2>/dev/null)" == *"$1"* ]]; then
        echo "$id"
        return 0
      fi
    done
    sleep 0.2
  done
  return 1
}
