# Sourced by the benchmarks: the camera-like benchmark photos, one recipe and one cache for all of them.
# 12-megapixel JPEGs (odd numbers 4000 x 3000, even 3000 x 4000, 3.5-5 MB each like a phone camera's,
# grain 0.3 at quality 95), made once into $cache (BENCH_CACHE overrides it; the folder name carries the
# recipe's version, so a changed recipe makes a new set).
#   photo_path N       the path of photo N
#   make_photos COUNT  makes photos 1 to COUNT that are missing (the repository's root is the current folder)
cache="${BENCH_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/pictavera-bench/photos-v1}"

photo_path() { printf '%s/photo_%02d.jpg' "$cache" "$1"; }

make_photos() {
  local count=$1 i f size scene scenes=(mountains city sunset forest beach bokeh fruit macro)
  mkdir -p "$cache"
  for ((i = 1; i <= count; i++)); do
    f="$(photo_path "$i")"
    [ -s "$f" ] && continue
    if ((i % 2)); then size=4000x3000; else size=3000x4000; fi
    scene=${scenes[(i - 1) % ${#scenes[@]}]}
    echo "bench: making $f ($scene, $size)"
    python3 scripts/make_photo.py --scene "$scene" --size "$size" --seed "$((1000 + i))" --quality 95 \
      --grain 0.3 "${f%.jpg}.part.jpg"
    mv "${f%.jpg}.part.jpg" "$f"
  done
}
