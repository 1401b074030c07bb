# Shared by the screenshot scripts: a work folder, a virtual X display (Xvfb) and the
# program started on it with its own data folder and settings. Source it, fill
# "$work/data", then call start_program; it sets window, X and Y (the window's position).
# shellcheck shell=bash
work="$(mktemp -d)"
cleanup() {
  [ -n "${app:-}" ] && kill "$app" 2>/dev/null && wait "$app" 2>/dev/null || true
  [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/data" "$work/config/Skimbrook"

# Every line ends in CR LF, as in the files the program writes itself.
crlf() { sed 's/$/\r/'; }

# Settings for a quiet picture: no tip, no hourly download, a 760x560 window at 0,0.
printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Skimbrook\\1.0\\Options]\r\n"ShowTips"="0"\r\n"AutomaticallyDownload"="0"\r\n\r\n[HKEY_CURRENT_USER\\Software\\Skimbrook\\1.0\\Form]\r\n"Left"="0"\r\n"Top"="0"\r\n"Width"="760"\r\n"Height"="560"\r\n' \
  > "$work/config/Skimbrook/HKCU.reg"

# start_program <program>: starts Xvfb and the program, waits for the main window.
start_program() {
  # Xvfb picks a free display itself and names it, so no other desktop is ever driven.
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
  xvfb=$!
  for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
  [ -s "$work/display" ] || { echo "screenshot: Xvfb did not start" >&2; exit 1; }
  export DISPLAY=":$(head -1 "$work/display")"
  unset WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS
  SKIMBROOK_DATA="$work/data" XDG_CONFIG_HOME="$work/config" HOME="$work" QT_QPA_PLATFORM=xcb \
    QTWEBENGINE_DISABLE_SANDBOX=1 "$1" >/dev/null 2>&1 &
  app=$!
  window=$(timeout 60 xdotool search --sync --name "Skimbrook v.1.0" | head -1)
  [ -n "$window" ] || { echo "screenshot: the main window did not appear" >&2; exit 1; }
  sleep 2
  # The window the search found first may be replaced when the web engine starts in it:
  # the geometry is taken from the one on screen now.
  window=$(timeout 30 xdotool search --sync --onlyvisible --name "Skimbrook v.1.0" | tail -1)
  eval "$(xdotool getwindowgeometry --shell "$window")"
}
