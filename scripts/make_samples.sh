#!/usr/bin/env bash
# Regenerates the sample photos and the frame in samples/ (they are committed; run this only to remake them).
# Needs imagemagick, exiftool and python3 (scripts/install-deps.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
make=scripts/make_photo.py
out=samples
mkdir -p "$out"

# Small, web-quality pictures: the whole set stays a few hundred KB in the repository.
photo() { python3 "$make" --quality 75 --grain 0.2 "$@"; }
photo --scene mountains --size 800x600 --seed 7 "$out/mountains.jpg"
photo --scene sunset    --size 800x600 --seed 3 "$out/sunset.jpg"
photo --scene bokeh     --size 600x800 --seed 5 "$out/bokeh.jpg"
# Stored on its side with EXIF orientation 6: a viewer that honours the tag shows a 600x800 portrait.
photo --scene forest    --size 600x800 --seed 2 --orientation 6 "$out/forest_exif6.jpg"
photo --scene fruit     --size 800x600 --seed 4 "$out/fruit.jpg"
photo --scene city      --size 600x800 --seed 9 "$out/city.jpg"
photo --scene beach     --size 800x600 --seed 6 "$out/beach.jpg"
photo --scene macro     --size 640x640 --seed 8 "$out/macro.jpg"
python3 "$make" --frame --size 420x560 "$out/frame.png"

ls -l "$out"
du -ch "$out"/* | tail -1
