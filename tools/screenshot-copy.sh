#!/bin/bash
# Screenshots of copying and moving in the main window for the README, driven
# by xdotool as a user would: all of a folder copied with "Copy..." into the
# other panel's folder (the copy progress dialog during the copy), then a file
# moved onto one of the same name there (the conflict question). Needs Xvfb,
# ImageMagick, xdotool and a built ./run.sh; the first argument is the X
# display to use (default :91).
set -u
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bin=${QUENVAR_BIN:-$here/build/quenvar}
display=${1:-:91}
base=$(mktemp -d /tmp/shots.XXXX)
export HOME=$base/home XDG_CONFIG_HOME=$base/home/.config XDG_DATA_HOME=$base/home/.local/share TMPDIR=$base/tmp
work=$HOME/Videos
mkdir -p $TMPDIR $work/camera $work/backup
# Large enough that the copy is still running when the picture is taken.
for i in 1 2 3 4; do head -c ${CLIP_BYTES:-400000000} /dev/zero > $work/camera/clip_$i.mp4; done
printf 'Shot list\n%.0s' $(seq 1 400) > $work/camera/notes.txt
touch -d '2026-11-02 09:15' $work/camera/notes.txt
echo "Shot list" > $work/backup/notes.txt
touch -d '2026-10-20 18:40' $work/backup/notes.txt
. "$here/tools/screenshot-settings.sh"
screenshot_settings "$work/camera" "$work/backup"
Xvfb $display -screen 0 1280x900x24 >/dev/null 2>&1 &
xv=$!
sleep 1
export DISPLAY=$display
unset QT_QPA_PLATFORM
$bin 2>/dev/null & p=$!
sleep 4
xdotool search --name '^Quenvar$' windowmove 0 0 2>/dev/null
sleep 1
shot() { import -window root $base/root.png; convert $base/root.png -crop 908x625+0+0 +repage "$here/docs/$1.png"; }
# The places on the form: the first row of the left panel, the tool bar's
# "Copy..." and "Move..." buttons.
row=${ROW:-65 135}
xdotool mousemove $row click 1; sleep 0.5
xdotool key ctrl+a; sleep 0.5
xdotool mousemove ${COPY_BUTTON:-152 45} click 1; sleep 1.5
xdotool key Return; sleep ${COPY_DELAY:-1.2}
shot copy-progress
# The copy ends with the question about notes.txt; cancelled, the older one stays.
asked() { for i in $(seq 1 120); do xdotool search --onlyvisible --name '^File exists$' >/dev/null && return; sleep 0.5; done; }
asked; sleep 0.5
xdotool key Escape; sleep 1
# notes.txt (the fifth row) moved onto its older namesake.
xdotool mousemove ${NOTES_ROW:-65 211} click 1; sleep 0.5
xdotool mousemove ${MOVE_BUTTON:-195 45} click 1; sleep 1.5
xdotool key Return; asked; sleep 1
shot move-conflict
xdotool key Escape; sleep 1
kill $p; wait $p 2>/dev/null
kill $xv
rm -rf $base
ls -la "$here/docs/copy-progress.png" "$here/docs/move-conflict.png"
