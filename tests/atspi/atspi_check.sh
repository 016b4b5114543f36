#!/usr/bin/env bash
# Starts what a screen reader needs, on its own: a display (Xvfb, openbox),
# a private session bus with the AT-SPI bus and registry, a scale simulator on
# a pseudo-terminal, and the program with its accessibility always on; then
# atspi_check.py reads the program's tree and events over the bus.
# Exits 77 (skipped), with the reason, only where the bus cannot start.
set -euo pipefail
scaledb=$1
sim=$2
here=$(cd "$(dirname "$0")" && pwd)
skip() { echo "SKIP: $*"; exit 77; }

for tool in Xvfb dbus-daemon dbus-send xdotool; do
  command -v "$tool" >/dev/null || skip "$tool is not installed"
done
launcher=/usr/libexec/at-spi-bus-launcher
[ -x "$launcher" ] || skip "at-spi2-core is not installed"
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null || skip "python3-pyatspi is not installed"

work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Waits until a command succeeds, for at most $1 tenths of a second.
until_ok() {
  local tenths=$1; shift
  for _ in $(seq "$tenths"); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
  return 1
}

Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
pids+=($!)
until_ok 100 test -s "$work/display" || skip "Xvfb did not start"
export DISPLAY=":$(head -n1 "$work/display")"
if command -v openbox >/dev/null; then
  openbox >/dev/null 2>&1 &
  pids+=($!)
fi

{ read -r DBUS_SESSION_BUS_ADDRESS; read -r bus_pid; } < <(dbus-daemon --session --fork --print-address=1 --print-pid=1) \
  || skip "no session bus"
export DBUS_SESSION_BUS_ADDRESS
pids+=("$bus_pid")
"$launcher" --launch-immediately >/dev/null 2>&1 &
pids+=($!)
until_ok 100 dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress \
  || skip "the accessibility bus did not start"

"$sim" --serial >"$work/sim.out" 2>&1 &
pids+=($!)
until_ok 100 grep -q '^READY serial' "$work/sim.out" || { echo "the scale simulator did not start"; exit 1; }
device=$(awk '/^READY serial/ {print $3; exit}' "$work/sim.out")

# The program keeps its settings beside itself: a copy in the scratch folder.
cp "$scaledb" "$work/scaledb"
printf '[ComPort1]\nPort=%s\nBaudRate=9600\n' "$device" >"$work/ComPortTest.ini"
printf 'tcp://127.0.0.1:9   Deli\n' >"$work/scales.txt"
printf '1;a;x\n2;b\n' >"$work/short.csv"
for i in $(seq 100); do echo "$i;Item $i;1.00"; done >"$work/products.csv"

QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_QPA_PLATFORM=xcb \
  "$work/scaledb" --scales "$work/scales.txt" "$work/short.csv" >"$work/scaledb.log" 2>&1 &
pids+=($!)
/usr/bin/python3 "$here/atspi_check.py" "$work" || { echo "-- the program's output:"; cat "$work/scaledb.log"; exit 1; }
