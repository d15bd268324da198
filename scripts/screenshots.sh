#!/usr/bin/env bash
# Makes the README's screenshots again from the real program: the main window, the tray menu, the
# Options dialog, the popup, the menu window and the floating window, on a private Xvfb with
# openbox and a stand-in tray, with a few records (texts and a picture) in a fresh data folder.
# Needs a debug build (cmake --preset debug && cmake --build build/debug). Writes them as PNG
# files into docs/screenshots.
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
# The bar between the history and the record viewer where the rows' texts have room.
"$quillet" --data-dir "$data" config set 53 300 >/dev/null
for text in "Meeting notes: agenda for Thursday" "https://example.org/quillet" "git log --oneline -5" \
            "Dear Ana, thank you for the quick reply." "42 Elm Street, Springfield"; do
  "$quillet" --data-dir "$data" add --text "$text" >/dev/null
done
# A picture, the newest record: selected when the window opens, so the viewer shows it.
/usr/bin/python3 - "$work/picture.png" <<'PY'
import struct, sys, zlib
width, height = 320, 200
rows = b"".join(b"\0" + b"".join(bytes((40 + x * 200 // width, 90 + y * 120 // height, 200 - x * 120 // width))
                                   for x in range(width)) for y in range(height))
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
with open(sys.argv[1], "wb") as out:
    out.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
              + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))
PY
"$quillet" --data-dir "$data" add --image "$work/picture.png" >/dev/null
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

# Options, chosen in the tray menu: the General page.
xdotool key o
dialog=
for _ in $(seq 100); do dialog=$(xdotool search --onlyvisible --classname '^quillet-dialog$' | head -n1) && [ -n "$dialog" ] && break; sleep 0.05; done
[ -n "$dialog" ] || { echo "The Options dialog did not open." >&2; exit 1; }
sleep 0.5
"$grab" "$dialog" "$out/options.png"
xdotool key Escape
sleep 0.3

# Waits for a visible window of ours by its instance name and grabs it.
grab_window() {
  local window=
  for _ in $(seq 100); do window=$(xdotool search --onlyvisible --classname "^$1\$" | head -n1) && [ -n "$window" ] && break; sleep 0.05; done
  [ -n "$window" ] || { echo "The window $1 did not open." >&2; exit 1; }
  sleep 0.4
  "$grab" "$window" "$out/$2"
}

# The popup of records, as a desktop's key binding opens it with quillet popup.
xdotool mousemove 300 200
"$quillet" --data-dir "$data" popup
grab_window quillet-popup popup.png
xdotool key Escape
sleep 0.3

# The menu window, as a left click on the tray icon opens it at the pointer.
dbus-send --session --type=method_call --dest="$item" /StatusNotifierItem org.kde.StatusNotifierItem.Activate int32:600 int32:400
grab_window quillet-menu menu-window.png
xdotool key Escape
sleep 0.3

# The floating window, as its key (Win+Right) brings it.
xdotool key super+Right
sleep 1
grab_window quillet-floating floating-window.png
echo "Wrote $out: main-window.png, tray-menu.png, options.png, popup.png, menu-window.png, floating-window.png"
