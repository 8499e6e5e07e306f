#!/usr/bin/env bash
# sizes.sh BATCH PICTURES [RUNS]
#
# What writing several sizes costs against the largest alone: zembrik-batch
# over every picture in PICTURES (such as the workspace's photo corpus) with
# --max-size 3840x2160, then with 3840x2160, 1920x1080 and 640x480 in one run,
# then with 1280x720 as a fourth size, each RUNS times (default 3) in turn.
# Prints the median wall time and peak memory (GNU time's maximum resident
# set) of each, and their ratios to the first.
set -euo pipefail

BATCH=${1:?usage: sizes.sh BATCH PICTURES [RUNS]}
PICTURES=${2:?usage: sizes.sh BATCH PICTURES [RUNS]}
RUNS=${3:-3}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
mapfile -t FILES < <(find "$PICTURES" -maxdepth 1 -type f | sort)

# run NAME OPTION...: appends "seconds kilobytes" for each run to WORK/NAME.
run() {
  local name=$1
  shift
  rm -rf "$WORK/out" && mkdir "$WORK/out"
  /usr/bin/time -f '%e %M' -o "$WORK/time" "$BATCH" --quiet "$@" -o "$WORK/out" "${FILES[@]}" >/dev/null
  cat "$WORK/time" >>"$WORK/$name"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

for _ in $(seq "$RUNS"); do
  run alone --max-size 3840x2160
  run three --max-size 3840x2160 --max-size 1920x1080 --max-size 640x480
  run four --max-size 3840x2160 --max-size 1920x1080 --max-size 1280x720 --max-size 640x480
done
for name in alone three four; do
  read -r "${name}_s" < <(cut -d' ' -f1 "$WORK/$name" | median)
  read -r "${name}_k" < <(cut -d' ' -f2 "$WORK/$name" | median)
done
echo "${#FILES[@]} pictures, median of $RUNS runs"
printf '3840x2160 alone:           %6.2f s  %6d MiB\n' "$alone_s" $((alone_k / 1024))
printf '3840x2160+1920x1080+640x480: %4.2f s  %6d MiB\n' "$three_s" $((three_k / 1024))
printf '+1280x720 (four sizes):     %4.2f s  %6d MiB\n' "$four_s" $((four_k / 1024))
awk -v a="$alone_s" -v b="$three_s" -v c="$four_s" -v m="$alone_k" -v n="$three_k" -v o="$four_k" \
  'BEGIN { printf "three: %.2fx time, %.2fx memory; four: %.2fx time, %.2fx memory\n", b / a, n / m, c / a, o / m }'
