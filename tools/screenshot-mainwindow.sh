#!/bin/bash
# Screenshot of the main window for the README: the left panel in a folder,
# the right one inside an archive. Needs Xvfb, ImageMagick, xdotool, 7z and a
# built ./run.sh; the first argument is the X display to use (default :91).
# With "ru" as the second argument the program runs on a Russian system: the
# left panel shows the home folder with its standard folders, and the settings
# dialog is taken too (main-window-ru.png, settings-dialog-ru.png).
set -u
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bin=${QUENVAR_BIN:-$here/build/quenvar}
display=${1:-:91}
lang=${2:-}
suffix=${lang:+-$lang}
base=$(mktemp -d /tmp/shots.XXXX)
export HOME=$base/home XDG_CONFIG_HOME=$base/home/.config XDG_DATA_HOME=$base/home/.local/share TMPDIR=$base/tmp
work=$HOME/Projects
mkdir -p $TMPDIR $HOME/{Desktop,Documents,Downloads,Music,Pictures,Videos} $work/photos $work/reports $work/website/src $work/website/images
for i in 1 2 3; do head -c $((i * 150000)) /dev/urandom > $work/photos/holiday_$i.jpg; done
head -c 48000 /dev/urandom > $work/budget.xlsx
printf 'Meeting notes\n%.0s' $(seq 1 300) > $work/notes.txt
head -c 2400000 /dev/urandom > $work/presentation.pdf
printf '<html>%.0s' $(seq 1 500) > $work/website/src/index.html
printf 'body{}%.0s' $(seq 1 300) > $work/website/src/style.css
printf 'main();%.0s' $(seq 1 900) > $work/website/src/app.js
head -c 90000 /dev/urandom > $work/website/images/logo.png
head -c 350000 /dev/urandom > $work/website/images/banner.jpg
echo "# Website" > $work/website/README.md
(cd $work && 7z a -bd -bso0 website.7z website >/dev/null)
cp $work/notes.txt $work/presentation.pdf $HOME/
. "$here/tools/screenshot-settings.sh"
screenshot_settings "$([ "$lang" = ru ] && echo "$HOME" || echo "$work")" "$work/website.7z/website/src"
Xvfb $display -screen 0 1280x900x24 >/dev/null 2>&1 &
xv=$!
sleep 1
export DISPLAY=$display
unset QT_QPA_PLATFORM
[ "$lang" = ru ] && export LC_ALL=ru_RU.UTF-8 LANG=ru_RU.UTF-8
$bin & p=$!
sleep 4
xdotool search --name '^Quenvar$' windowmove 0 0 2>/dev/null
sleep 1
import -window root $base/root.png
convert $base/root.png -crop 908x650+0+0 +repage -trim +repage "$here/docs/main-window$suffix.png"
if [ -n "$lang" ]; then
  # Settings menu, then its only item: the menu titles' places on the form.
  xdotool mousemove ${SETTINGS_MENU_X:-120} 8 click 1; sleep 1
  xdotool mousemove ${SETTINGS_MENU_X:-120} 32 click 1; sleep 2
  # The dialog is the one visible window besides the main window.
  main=$(xdotool search --onlyvisible --name '^Quenvar$')
  dialog=$(xdotool search --onlyvisible --name . | grep -vx "$main" | head -1)
  [ -n "$dialog" ] && import -window "$dialog" "$here/docs/settings-dialog$suffix.png"
fi
kill $p; wait $p 2>/dev/null
kill $xv
rm -rf $base
ls -la "$here/docs/main-window$suffix.png"
