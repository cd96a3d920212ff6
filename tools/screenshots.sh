#!/bin/bash
# Screenshots of the dialogs from the running program under Xvfb, for the
# README. Needs Xvfb and ImageMagick (xvfb, imagemagick) and a built ./run.sh.
set -u
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bin=$here/build/quenvar
out=$here/docs
mkdir -p $out
base=$(mktemp -d /tmp/shots.XXXX)
export HOME=$base/home XDG_CONFIG_HOME=$base/home/.config XDG_DATA_HOME=$base/home/.local/share TMPDIR=$base/tmp
mkdir -p $HOME $TMPDIR $base/work/photos
cd $base/work
for i in 1 2 3 4 5; do head -c 200000 /dev/urandom > photos/img_$i.jpg; done
echo "notes" > photos/readme.txt
Xvfb :99 -screen 0 1024x700x24 >/dev/null 2>&1 &
xv=$!
sleep 1
export DISPLAY=:99
unset QT_QPA_PLATFORM
shot() { sleep "$2"; import -window root "$out/$1.png"; }
# Compress dialog
$bin -c a $base/work/photos & p=$!; shot compress-dialog 3; kill $p; wait $p 2>/dev/null
# Extract dialog
7z a -bd -bso0 photos.7z photos >/dev/null
$bin -c e $base/work/photos.7z & p=$!; shot extract-dialog 3; kill $p; wait $p 2>/dev/null
# Progress during a real extraction: a large bzip2-compressed tar
{
  mkdir -p $base/big; for i in $(seq 1 6); do head -c 40000000 /dev/urandom | base64 > $base/big/part$i.txt; done
  tar -C $base -cf - big | bzip2 -1 > $base/big.tar.bz2
}
mv $base/big.tar.bz2 $base/work/
$bin -c eh $base/work/big.tar.bz2 & p=$!; shot progress-dialog ${PROGRESS_DELAY:-6}; kill $p; wait $p 2>/dev/null
kill $xv
rm -rf $base
for f in "$out"/*.png; do convert "$f" -trim +repage "$f"; done
ls -la "$out"
