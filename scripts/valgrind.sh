#!/usr/bin/env bash
# The test suite under valgrind's memcheck, on the plain RelWithDebInfo build:
# any invalid access, use of an uninitialised value or leak fails the run.
# Child processes (death tests' fresh processes, the vokdyn executable run by
# its tests) run without valgrind. Extra arguments go to the test programs
# (e.g. --gtest_filter=Damping*).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build
# The suite replaces the non-throwing array new to make chosen allocations
# fail (its replacement hands every other request to the ordinary new, which
# memcheck watches); nouserintercepts keeps memcheck from replacing it in turn.
memcheck=(valgrind --tool=memcheck --error-exitcode=1 --leak-check=full
          --errors-for-leak-kinds=definite,indirect --show-leak-kinds=definite,indirect
          --soname-synonyms=somalloc=nouserintercepts
          --trace-children=no --quiet)
status=0
for program in vok_library_tests vok_tool_tests vok_module_load_test; do
  echo "== memcheck: $program"
  if ! "${memcheck[@]}" "build/bin/$program" --gtest_brief=1 "$@"; then
    echo "memcheck: $program reported errors"
    status=1
  fi
done
exit $status
