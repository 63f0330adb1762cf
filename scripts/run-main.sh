#!/usr/bin/env bash
# Builds the tools and runs the main job on the embedded default model.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
if [ -f tools/vokdyn/CMakeLists.txt ]; then
  cmake --build build --target vokdyn
  exec build/bin/vokdyn harmonic "$@"
else
  cmake --build build --target vokdyn-info
  exec build/bin/vokdyn-info
fi
