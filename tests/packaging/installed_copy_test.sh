#!/usr/bin/env bash
# The installation as the Debian package lays it out, run as a user would: installed into a
# temporary prefix, its desktop files and metadata checked with the desktop's validators
# (when present), and the installed program started once. An installed copy keeps its data
# in the user's data folder even where it could write beside itself (as root), points the
# context-menu entry at its share folder, and leaves no per-user registration that would
# hide the installed one.
#   installed_copy_test.sh <build folder>
set -euo pipefail
build="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

prefix="$work/usr"
cmake --install "$build" --prefix "$prefix" >/dev/null
share="$prefix/share"
for file in bin/skimbrook bin/skimbrook-addfeed share/skimbrook/help.html share/skimbrook/addfeed.htm \
  share/applications/skimbrook.desktop share/applications/skimbrook-addfeed.desktop \
  share/dbus-1/services/org.skimbrook.Skimbrook.service share/icons/hicolor/scalable/apps/skimbrook.svg \
  share/metainfo/org.skimbrook.Skimbrook.metainfo.xml share/doc/skimbrook/copyright; do
  [ -f "$prefix/$file" ] || fail "$file is not installed"
done
# The web engine's module, which the program loads from its folder's ../lib*/skimbrook/.
compgen -G "$prefix/lib*/skimbrook/skimbrook-webengine.so" >/dev/null ||
  fail "the web engine's module is not installed"
for page in skimbrook.1 skimbrook-addfeed.1; do
  gzip -t "$share/man/man1/$page.gz" 2>/dev/null || fail "man page $page.gz is missing or damaged"
done

if command -v desktop-file-validate >/dev/null; then
  for entry in "$share"/applications/*.desktop; do
    desktop-file-validate "$entry" || fail "desktop-file-validate rejects $entry"
  done
else
  echo "desktop-file-validate is not installed: entries not validated"
fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$share/metainfo/org.skimbrook.Skimbrook.metainfo.xml" ||
    fail "appstreamcli rejects the metainfo"
else
  echo "appstreamcli is not installed: metainfo not validated"
fi

# The user's side: a home whose data folder a copy run from the build folder has already
# registered, as a developer's would have.
home="$work/home"
mkdir -p "$home/config/Skimbrook"
printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Skimbrook\\1.0\\Options]\r\n"ShowTips"="0"\r\n"AutomaticallyDownload"="0"\r\n' \
  >"$home/config/Skimbrook/HKCU.reg"
user_env=(env -u SKIMBROOK_DATA -u DISPLAY -u WAYLAND_DISPLAY HOME="$home" XDG_DATA_HOME="$home/share"
  XDG_CONFIG_HOME="$home/config" XDG_DATA_DIRS="$share")
"${user_env[@]}" "$build/bin/skimbrook" -REGSERVER || fail "the build folder's copy did not register"
[ -f "$home/share/applications/skimbrook.desktop" ] || fail "the build folder's copy wrote no desktop entry"

# The installed copy's start: its own bus, no window anybody sees, closed once shown.
"${user_env[@]}" QT_QPA_PLATFORM=offscreen SKIMBROOK_EXIT_AFTER_SHOW=1 \
  dbus-run-session -- "$prefix/bin/skimbrook" >"$work/out.txt" 2>"$work/err.txt" ||
  fail "the installed program failed: $(cat "$work/err.txt")"
grep -q '^shown-at-ms' "$work/out.txt" || fail "the installed program showed no window: $(cat "$work/err.txt")"

[ -d "$home/share/Skimbrook/data" ] || fail "no data folder in \$XDG_DATA_HOME/Skimbrook/data"
[ ! -e "$prefix/bin/data" ] || fail "the installed program made a data folder beside itself"
for file in applications/skimbrook.desktop applications/skimbrook-addfeed.desktop \
  dbus-1/services/org.skimbrook.Skimbrook.service; do
  [ ! -e "$home/share/$file" ] || fail "a per-user $file still hides the installed one"
done
grep -qF "@=\"file://$share/skimbrook/addfeed.htm\"" "$home/config/Skimbrook/HKCU.reg" ||
  fail "the context-menu entry does not name the installed addfeed.htm: $(grep -F addfeed "$home/config/Skimbrook/HKCU.reg")"

if [ "$failures" -ne 0 ]; then
  echo "$failures failed" >&2
  exit 1
fi
echo "the installed copy behaves as installed"
