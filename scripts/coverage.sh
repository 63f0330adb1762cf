#!/usr/bin/env bash
# Line and branch coverage of the library's own sources by the test suite.
# Prints the summary; the HTML report goes to build-cov/coverage/index.html.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build-cov -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVOK_COVERAGE=ON -DVOK_BENCH=OFF >/dev/null
cmake --build build-cov
find build-cov -name '*.gcda' -delete
ctest --test-dir build-cov --output-on-failure >/dev/null
src="$(pwd)/VOKAnalysisDynamicResponse/VOKDYNTools.m/src"
# Branches that are taken only while an exception unwinds (the paths the
# compiler adds to every call that may throw, e.g. a failed allocation) are
# not counted: they are not the library's own decisions and no test can
# take them one by one.
lcov --quiet --capture --directory build-cov --rc lcov_branch_coverage=1 \
     --rc geninfo_no_exception_branch=1 --output-file build-cov/all.info 2>/dev/null
lcov --quiet --extract build-cov/all.info "$src/*" --rc lcov_branch_coverage=1 \
     --output-file build-cov/library.info 2>/dev/null
echo "== coverage of the library's sources"
lcov --summary build-cov/library.info --rc lcov_branch_coverage=1 2>&1 | grep -E "lines|branches|functions"
lcov --list build-cov/library.info --rc lcov_branch_coverage=1 2>/dev/null | sed -n '1,40p'
genhtml --quiet --branch-coverage build-cov/library.info --output-directory build-cov/coverage >/dev/null 2>&1 || true
