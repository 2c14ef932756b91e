# Shared by the encoder benchmarks: tool paths, a scratch folder, timing and
# the generated test clip. Source it from a benchmark script.
set -euo pipefail

BUILD_DIR=${BUILD_DIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build}
TOOLS=${TOOLS:-$BUILD_DIR/tools}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

require() {
  for program in "$@"; do
    if [[ $program == */* ]]; then
      [[ -x $program ]] || { echo "missing $program (build the tools first)" >&2; exit 2; }
    else
      command -v "$program" >/dev/null || { echo "missing $program (apt-get install $program)" >&2; exit 2; }
    fi
  done
}

# Prints "WALL CPU": the wall time and the processor time (user + system, of
# all processes it started) in seconds of the command, a function or a
# pipeline included. Its output is discarded; a failure ends the benchmark.
# On a busy machine the processor time is the steadier figure.
seconds_of() {
  local TIMEFORMAT="%R %U %S" times status=0
  times=$( { time "$@" >"$WORK/last.log" 2>&1 || status=$?; } 2>&1; exit "$status") ||
    { echo "failed: $*" >&2; cat "$WORK/last.log" >&2; exit 1; }
  awk '{ printf "%.3f %.3f", $1, $2 + $3 }' <<<"$times"
}

# The faster of two "WALL CPU" measurements.
faster() { awk -v a="$1" -v b="$2" 'BEGIN { split(a, x, " "); split(b, y, " "); print (x[1] < y[1]) ? a : b }'; }

wall() { echo "${1% *}"; }
cpu() { echo "${1#* }"; }

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }

# make_clip NAME FRAMES SIZE: NAME.avi (uncompressed 4:2:0 video at 25 fps
# with a moving, slightly noisy picture and 48 kHz stereo sound) and NAME.avs
# opening it, in $WORK.
make_clip() {
  local name=$1 frames=$2 size=$3
  ffmpeg -v error -nostdin -y -f lavfi -i "testsrc2=size=$size:rate=25,noise=alls=6:allf=t" \
    -f lavfi -i "sine=f=330:r=48000,aformat=channel_layouts=stereo" -frames:v "$frames" -shortest \
    -pix_fmt yuv420p -c:v rawvideo -c:a pcm_s16le "$WORK/$name.avi"
  printf 'AviSource("%s")\r\n' "$WORK/$name.avi" >"$WORK/$name.avs"
}

# Runs the functions `ours` and `theirs` five times each, alternating, and
# prints "LABEL: avs2pipemod W s (cpu C s), ffmpeg W s (cpu C s), wall-time
# ratio R (target <= 1.1)" from the best run of each.
compare_with_ffmpeg() {
  local label=$1 best_ours="" best_theirs="" o t
  for _ in 1 2 3 4 5; do
    o=$(seconds_of ours)
    t=$(seconds_of theirs)
    best_ours=$(faster "${best_ours:-$o}" "$o")
    best_theirs=$(faster "${best_theirs:-$t}" "$t")
  done
  echo "$label: avs2pipemod $(wall "$best_ours") s (cpu $(cpu "$best_ours") s)," \
    "ffmpeg $(wall "$best_theirs") s (cpu $(cpu "$best_theirs") s)," \
    "wall-time ratio $(ratio "$(wall "$best_ours")" "$(wall "$best_theirs")") (target <= 1.1)"
}
