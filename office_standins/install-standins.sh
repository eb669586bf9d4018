#!/usr/bin/env bash
# install-standins.sh BUILD_DIR [--unregister]
# Registers (or unregisters) the presentation-program stand-in POWERPNT.EXE and the
# compatibility-converter stand-in moc.exe, where they lie in BUILD_DIR/bin, in the build's own
# Wine prefix (BUILD_DIR/wineprefix). Works inside or outside scripts/wine-session.sh.
set -euo pipefail

build=$(cd "$1" && pwd)
action=/RegServer
if [ "${2:-}" = "--unregister" ]; then
  action=/UnregServer
fi

for program in POWERPNT.EXE moc.exe; do
  if ! "$build/wine-run.sh" "$build/bin/$program" "$action"; then
    echo "install-standins: $program $action failed" >&2
    exit 1
  fi
done
echo "install-standins: $action done for POWERPNT.EXE and moc.exe in $build/wineprefix"
