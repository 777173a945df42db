#!/usr/bin/env bash
# Starts the program under a virtual X server of a fixed size, waits for its
# window, takes a screenshot of the screen and checks that it is not blank.
# Usage: screenshot.sh <program> <png>. Exit 77 (skipped) without the tools.
set -euo pipefail
program=$1
png=$2
for tool in xvfb-run import xwininfo; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$program" "$work/"
mkdir -m 700 "$work/runtime"
export XDG_RUNTIME_DIR=$work/runtime
# The program must draw on the virtual X server, whatever platform the tests
# around it run on.
unset QT_QPA_PLATFORM
inner="$work/inner.sh"
cat >"$inner" <<'INNER'
#!/usr/bin/env bash
set -euo pipefail
cd "$WORK"
"$WORK/$(basename "$PROGRAM")" &
pid=$!
for _ in $(seq 1 100); do
  if xwininfo -root -tree 2>/dev/null | grep -q '"Orlenda 1.0.9"'; then break; fi
  sleep 0.2
done
sleep 1.5
import -window root "$PNG"
kill "$pid"
wait "$pid" || true
INNER
chmod +x "$inner"
WORK=$work PROGRAM=$program PNG=$png \
  xvfb-run -a -s "-screen 0 1280x800x24" "$inner"
# Not blank: the screenshot holds more than a handful of colours.
colours=$(convert "$png" -format '%k' info:)
echo "screenshot $png: $colours colours"
[[ $colours -gt 16 ]]
