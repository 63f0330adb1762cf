#!/usr/bin/env bash
# Line and branch coverage of the library's own sources by the test suite.
# Prints the summary; the HTML report goes to build-cov/coverage/index.html.
#
# What is counted (scripts/coverage_tracefile.py writes the tracefile from
# gcov's own report):
# - the sources in VOKAnalysisDynamicResponse/VOKDYNTools.m/src, built at -O0
#   so that every line and every decision of the source is one of gcov's;
# - lines: every line of code, covered when executed at least once;
# - branches: both outcomes of every decision, counted per template
#   instantiation, but not the edges the compiler adds to every call that
#   may throw (taken only while an exception unwinds, e.g. from a failed
#   allocation): they are not the library's decisions and no test can take
#   them one by one. This distribution's lcov does not drop those edges
#   itself (its geninfo_no_exception_branch setting has no effect), so the
#   capture is done from gcov's JSON, where each of them is marked;
# - the evaluation kernels are counted in the library's copy and in the copy
#   compiled into the suite, which runs every variant the processor offers
#   (the library itself runs only the widest one);
# - lines marked LCOV_EXCL_LINE / LCOV_EXCL_BR_LINE are left out: each carries
#   its reason beside it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build-cov -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVOK_COVERAGE=ON -DVOK_BENCH=OFF >/dev/null
cmake --build build-cov
find build-cov -name '*.gcda' -delete
ctest --test-dir build-cov --output-on-failure >/dev/null
src="$(pwd)/VOKAnalysisDynamicResponse/VOKDYNTools.m/src"
mapfile -t objects < <(find build-cov -name '*.gcda' -path '*VOKDYNTools.m/src/*' | sort)
python3 scripts/coverage_tracefile.py "$src" build-cov/library.info "${objects[@]}"
echo "== coverage of the library's sources"
for isa in avx2 avx512f; do
  grep -qw "$isa" /proc/cpuinfo ||
    echo "note: this processor lacks $isa: the $isa evaluation kernel cannot run here, its lines count as not covered"
done
lcov --summary build-cov/library.info --rc lcov_branch_coverage=1 2>&1 | grep -E "lines|branches|functions"
lcov --list build-cov/library.info --rc lcov_branch_coverage=1 2>/dev/null | sed -n '1,40p'
genhtml --quiet --branch-coverage build-cov/library.info --output-directory build-cov/coverage >/dev/null 2>&1 || true
