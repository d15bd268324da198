#!/usr/bin/env bash
# Makes the README's screenshots again from the real program: the main window and the tray menu,
# on a private Xvfb with openbox and a stand-in tray, with a few records in a fresh data folder.
# Needs a debug build (cmake --preset debug && cmake --build build/debug). Writes
# docs/screenshots/main-window.png and docs/screenshots/tray-menu.png.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build/debug}
quillet=$build/app/quillet
watcher=$build/tests/app/tray_watcher
grab=$build/tests/app/grab_window
out=docs/screenshots
mkdir -p "$out"

work=$(mktemp -d)
pids=()
cleanup() {
  for ((i=${#pids[@]}-1; i>=0; i--)); do kill "${pids[i]}" 2>/dev/null || true; wait "${pids[i]}" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 9 -screen 0 1024x700x24 -nolisten tcp 9>"$work/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
export DISPLAY=":$(head -n1 "$work/display")"
export XDG_RUNTIME_DIR=$work HOME=$work QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY
dbus-daemon --session --nofork --print-address >"$work/bus" 2>/dev/null &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/bus" ] && break; sleep 0.05; done
export DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$work/bus")
openbox --sm-disable >/dev/null 2>&1 &
pids+=($!)
"$watcher" >"$work/tray" &
pids+=($!)
for _ in $(seq 100); do grep -q ready "$work/tray" && break; sleep 0.05; done

data=$work/data
"$quillet" --data-dir "$data" config set 36 1 >/dev/null
for text in "Meeting notes: agenda for Thursday" "https://example.org/quillet" "git log --oneline -5" \
            "Dear Ana, thank you for the quick reply." "42 Elm Street, Springfield"; do
  "$quillet" --data-dir "$data" add --text "$text" >/dev/null
done
"$quillet" --data-dir "$data" &
pids+=($!)
for _ in $(seq 200); do grep -q "^registered" "$work/tray" && break; sleep 0.05; done

# A second start shows the running program's main window.
"$quillet" --data-dir "$data"
for _ in $(seq 100); do main=$(xdotool search --onlyvisible --classname '^quillet-main$' | head -n1) && [ -n "$main" ] && break; sleep 0.05; done
xdotool windowsize "$main" 760 440
sleep 0.5
"$grab" "$main" "$out/main-window.png"

# The tray menu, as a right click on the tray icon opens it.
item=$(sed -n 's/^registered //p' "$work/tray" | head -n1)
dbus-send --session --type=method_call --dest="$item" /StatusNotifierItem org.kde.StatusNotifierItem.ContextMenu int32:200 int32:120
menu=
for _ in $(seq 100); do menu=$(xdotool search --onlyvisible --classname '^quillet-menu$' | head -n1) && [ -n "$menu" ] && break; sleep 0.05; done
sleep 0.3
[ -n "$menu" ] || { echo "The tray menu did not open." >&2; exit 1; }
"$grab" "$menu" "$out/tray-menu.png"
xdotool key Escape
echo "Wrote $out/main-window.png and $out/tray-menu.png"
