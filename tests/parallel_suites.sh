#!/usr/bin/env bash
# Runs the suite five times over (ctest -j2 --repeat until-fail:5) while a
# second copy of it runs beside it from the same build folder: no test may
# end, or be ended by, a process that another test started, nor share a
# file with it. Run by hand after ./test: tests/parallel_suites.sh [BUILD]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
export QT_QPA_PLATFORM=offscreen
(cd "$build" && ctest -j2 >/tmp/kelvarion-second-suite.$$.log 2>&1) &
second=$!
status=0
(cd "$build" && ctest -j2 --repeat until-fail:5 --output-on-failure) || status=$?
wait "$second" || { echo "the second suite failed:"; grep -E "Failed|\*\*\*" /tmp/kelvarion-second-suite.$$.log; status=1; }
rm -f /tmp/kelvarion-second-suite.$$.log
exit "$status"
