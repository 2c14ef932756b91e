#!/bin/bash
# Measures how long avs2pipemod takes to evaluate a script of 10,000 lines of
# arithmetic and text functions, against the same tool on a one-line script
# measured in the same run, so that the difference is the evaluation alone.
# Prints both times, the evaluation time and the ratio. Usage:
# bench/script_eval_bench.sh [build folder] (default: build). Needs
# /usr/bin/time.
set -euo pipefail

build=${1:-build}
tool=$(realpath "$build/tools/avs2pipemod")
[ -x "$tool" ] || { echo "no avs2pipemod in $build/tools" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

printf 'BlankClip(length=1, width=16, height=16)\n' > one.avs
{
  echo 'function Pad(string s, int n) { return StrLen(s) >= n ? s : Pad("0" + s, n) }'
  echo 'total = 0'
  echo 'text = ""'
  for ((i = 0; i < 2000; i++)); do
    echo "a$i = ($i * 37 + 11) % 1000 / 3.0 + Sin($i) * Pow(2, 3) - Floor(Sqrt($i + 1))"
    echo "total = total + Round(a$i) % 97 + MulDiv($i, 3, 7) + Max($i, 5, 12) - Abs(-$i)"
    echo "s$i = UCase(LeftStr(\"frame\" + String($i), 7)) + Pad(String($i % 100), 3) + Hex($i)"
    echo "text = StrLen(text) > 200 ? MidStr(text, 50) + RevStr(s$i) : text + LCase(s$i)"
    echo "ok$i = FindStr(s$i, \"FRAME\") == 1 && Value(String($i)) == $i ? true : false"
  done
  echo 'BlankClip(length=1, width=16, height=16)'
} > long.avs
echo "long.avs: $(wc -l < long.avs) lines"

# Runs the tool's -info on a script five times; sets $best to the best wall
# time and $cpu to the processor time (user + system) of that run. On a
# shared machine the processor time varies less than the wall time.
measure() {
  best=999999
  cpu=0
  for _ in 1 2 3 4 5; do
    /usr/bin/time -f '%e %U %S' -o stats "$tool" -info "$1" > /dev/null
    read -r wall user system < stats
    if awk "BEGIN{exit !($wall < $best)}"; then
      best=$wall
      cpu=$(awk "BEGIN{print $user + $system}")
    fi
  done
}
measure one.avs
reference=$best
referenceCpu=$cpu
measure long.avs
awk -v r="$reference" -v l="$best" -v rc="$referenceCpu" -v lc="$cpu" 'BEGIN{
  printf "one-line script %.3fs (cpu %.2fs), 10,000-line script %.3fs (cpu %.2fs)\n", r, rc, l, lc
  printf "evaluation %.3fs wall, %.2fs cpu (target < 0.1 s), wall-time ratio %.2f\n", l - r, lc - rc, l / (r > 0 ? r : 0.001) }'
