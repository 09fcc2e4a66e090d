#!/usr/bin/env bash
# Opens the window program under a real X server (Xvfb), Evernote standing in
# as a folder with one notebook, and fails when it writes anything to
# standard error or exits by itself. Usage: window_opens_cleanly.sh PROGRAM
set -euo pipefail
program="$1"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
export XDG_DATA_HOME="$scratch/data" XDG_CONFIG_HOME="$scratch/config" XDG_STATE_HOME="$scratch/state" TMPDIR="$scratch/tmp"
export FERRYMARK_APPLICATIONS="$scratch/Applications"
unset QT_QPA_PLATFORM WAYLAND_DISPLAY XDG_RUNTIME_DIR
mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$TMPDIR" "$scratch/notebooks" "$FERRYMARK_APPLICATIONS/Evernote.app/Contents"
cat > "$scratch/notebooks/Recipes.enex" <<'ENEX'
<?xml version="1.0" encoding="UTF-8"?>
<en-export application="Evernote" version="10.0"><note><title>Bread</title><content><![CDATA[<en-note><div>Flour</div></en-note>]]></content></note></en-export>
ENEX
cat > "$FERRYMARK_APPLICATIONS/Evernote.app/Contents/Info.plist" <<PLIST
<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
  <key>CFBundleIdentifier</key><string>com.evernote.Evernote</string>
  <key>CFBundleShortVersionString</key><string>10.0</string>
  <key>EvernoteNotebookFolder</key><string>$scratch/notebooks</string>
</dict></plist>
PLIST
status=0
xvfb-run -a -s "-screen 0 1280x800x24" timeout -s TERM 8 "$program" 2>"$scratch/stderr" || status=$?
if [ "$status" -ne 124 ]; then
    echo "the window program exited by itself with status $status" >&2
    cat "$scratch/stderr" >&2
    exit 1
fi
if [ -s "$scratch/stderr" ]; then
    echo "the window program wrote to standard error:" >&2
    cat "$scratch/stderr" >&2
    exit 1
fi
echo "the window opened; standard error stayed empty"
