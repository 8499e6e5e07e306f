#!/usr/bin/env bash
# compare.sh OLD_BATCH NEW_BATCH PICTURES [WORK]
#
# Shrinks the same pictures with two builds of zembrik-batch and compares every
# output byte for byte: the check that a change kept what the previous main
# writes. PICTURES is a folder of real photos (JPEG, BMP, GIF, ...), such as the
# workspace's photo corpus; the script adds variants made from its JPEGs with
# jpegtran and ImageMagick (progressive, grey, 4:4:4, odd size, CMYK, PNG, WebP,
# TIFF and, where heif-enc exists, HEIC) into WORK/inputs, then runs both
# programs over each picture at five ratios and with the output options, one
# picture per call.
#
# Prints one line per run that differs and a last line with the counts; exit
# status 0 when every output is identical and both programs agree on success.
#
# A build of the previous main, for OLD_BATCH:
#   git worktree add /tmp/prev origin/main && cmake -S /tmp/prev -B /tmp/prev/build -G Ninja \
#     -DCMAKE_BUILD_TYPE=Release && cmake --build /tmp/prev/build --target zembrik-batch
set -euo pipefail

OLD=${1:?usage: compare.sh OLD_BATCH NEW_BATCH PICTURES [WORK]}
NEW=${2:?usage: compare.sh OLD_BATCH NEW_BATCH PICTURES [WORK]}
PICTURES=${3:?usage: compare.sh OLD_BATCH NEW_BATCH PICTURES [WORK]}
WORK=${4:-$(mktemp -d)}
RATIOS=${COMPARE_RATIOS:-"100 75 50 33 10"}
# Each option set is run at the first ratio only, over every picture.
OPTION_SETS=(
  "--max-size 1920x1080"
  "--max-size 640x480"
  "--quality 90"
  "--quality 1"
  "--keep-metadata"
  "--keep-metadata --keep-gps --keep-date"
  "--suffix _s"
)

need() { command -v "$1" >/dev/null || { echo "compare.sh: needs $1 ($2)" >&2; exit 2; }; }
need jpegtran libjpeg-turbo-progs
need convert imagemagick

inputs=$WORK/inputs
mkdir -p "$inputs"
find "$PICTURES" -type f \( -iname '*.jpg' -o -iname '*.jpeg' -o -iname '*.bmp' -o -iname '*.gif' \
  -o -iname '*.png' -o -iname '*.webp' -o -iname '*.tif' -o -iname '*.tiff' -o -iname '*.heic' \
  -o -iname '*.avif' \) -print0 | sort -z | while IFS= read -r -d '' f; do
  # Keep the folder in the name so that equal names in two folders stay apart.
  rel=${f#"$PICTURES"/}
  cp -n "$f" "$inputs/${rel//\//_}"
done

# Variants of the first few JPEGs: the decoder paths a photo collection meets.
mapfile -t jpegs < <(find "$inputs" -maxdepth 1 -iname '*.jpg' ! -name 'v_*' | sort | head -n 3)
i=0
for j in "${jpegs[@]}"; do
  i=$((i + 1))
  [ -e "$inputs/v_prog$i.jpg" ] && continue
  jpegtran -progressive -outfile "$inputs/v_prog$i.jpg" "$j"
  convert "$j" -resize '1200x1200>' -colorspace Gray -interlace JPEG "$inputs/v_greyprog$i.jpg"
  convert "$j" -resize '1200x1200>' -sampling-factor 1x1 -interlace JPEG "$inputs/v_444prog$i.jpg"
  convert "$j" -resize '1001x751!' "$inputs/v_odd$i.jpg"
  convert "$j" -resize '640x480>' -colorspace CMYK "$inputs/v_cmyk$i.jpg"
  convert "$j" -resize '900x900>' "$inputs/v_png$i.png"
  convert "$j" -resize '900x900>' "$inputs/v_tiff$i.tif"
  convert "$j" -resize '900x900>' "$inputs/v_webp$i.webp" 2>/dev/null || true
  if command -v heif-enc >/dev/null; then
    convert "$j" -resize '900x900>' "$WORK/h.png" && heif-enc -q 60 -o "$inputs/v_heic$i.heic" "$WORK/h.png" >/dev/null 2>&1 || true
  fi
done

runs=0 same=0 differ=0
run_both() {  # NAME OPTIONS... -- PICTURE
  local name=$1; shift
  local opts=() pic
  while [ "$1" != -- ]; do opts+=("$1"); shift; done
  pic=$2
  local a=$WORK/out/old/$name b=$WORK/out/new/$name
  rm -rf "$a" "$b"; mkdir -p "$a" "$b"
  local ra=0 rb=0
  "$OLD" --quiet "${opts[@]}" -o "$a" "$pic" >/dev/null 2>&1 || ra=$?
  "$NEW" --quiet "${opts[@]}" -o "$b" "$pic" >/dev/null 2>&1 || rb=$?
  runs=$((runs + 1))
  if [ "$ra" != "$rb" ]; then
    echo "status differs ($ra, $rb): ${opts[*]} $pic"; differ=$((differ + 1)); return
  fi
  if diff -rq "$a" "$b" >/dev/null; then
    same=$((same + 1))
  else
    echo "bytes differ: ${opts[*]} $pic"; differ=$((differ + 1))
  fi
}

n=0
for pic in "$inputs"/*; do
  n=$((n + 1))
  for r in $RATIOS; do run_both "p$n-r$r" -r "$r" -- "$pic"; done
  for k in "${!OPTION_SETS[@]}"; do
    # shellcheck disable=SC2206
    set_opts=(${OPTION_SETS[$k]})
    run_both "p$n-o$k" "${set_opts[@]}" -- "$pic"
  done
done
echo "$runs runs over $n pictures: $same identical, $differ differ"
[ "$differ" -eq 0 ]
