#!/usr/bin/env bash
# Line and branch coverage of the library's own sources by the whole suite
# (gcovr), and the gate: at least 98 % of the library's lines.
#
#   bash scripts/coverage.sh             # builds build-cov (Debug, -O0, gcov), runs the suite
#   bash scripts/coverage.sh BUILD_DIR   # a coverage build whose suite has just run
#   add --readme to write the figures into README.md's coverage line
#
# Counted: VOKAnalysisDynamicResponse/VOKDYNTools.m/src at -O0, so that every
# line and decision of the source is gcov's. Not counted: the branches the
# compiler adds to every call that may throw (taken only while an exception
# unwinds), and lines marked LCOV_EXCL_* (each with its reason beside it).
# The evaluation kernels are one set of objects, in the library and in the
# suite, which runs every variant the processor offers.
set -euo pipefail
cd "$(dirname "$0")/.."
readme=0
build=""
for arg in "$@"; do
  case "$arg" in
    --readme) readme=1 ;;
    *) build="$arg" ;;
  esac
done
if [[ -z "$build" ]]; then
  bash scripts/deps.sh
  build=build-cov
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVOK_COVERAGE=ON -DVOK_BENCH=OFF >/dev/null
  cmake --build "$build"
  find "$build" -name '*.gcda' -delete
  ctest --test-dir "$build" --output-on-failure >/dev/null
fi
for isa in avx2 avx512f; do
  grep -qw "$isa" /proc/cpuinfo ||
    echo "note: this processor lacks $isa: that evaluation kernel cannot run here, its lines count as not covered"
done
mkdir -p "$build/coverage"
summary=$(gcovr --root . --object-directory "$build" \
  --filter 'VOKAnalysisDynamicResponse/VOKDYNTools.m/src/' \
  --exclude-throw-branches --print-summary \
  --html-details "$build/coverage/index.html" \
  --fail-under-line 98) || { echo "$summary"; echo "coverage gate: below 98 % of the library's lines"; exit 1; }
echo "$summary" | grep -E '^(lines|functions|branches):'
if ((readme)); then
  figure() { echo "$summary" | sed -n "s/^$1: \([0-9.]*%\) (\([0-9]*\) out of \([0-9]*\))/\1 of $1 (\2 of \3)/p"; }
  line="$(figure lines), $(figure branches)"
  sed -i "s|^\( *\)<!-- coverage -->.*|\1<!-- coverage --> Measured by \`scripts/coverage.sh --readme\`: **$line**.|" README.md
fi
