#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a while each, seeded with the
# project's own files.  usage: fuzz.sh BUILD_DIR SECONDS
set -euo pipefail
cd "$(dirname "$0")/.."
build=$1
seconds=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# name, seed files, maximum input length
seed() {
  local name=$1
  mkdir -p "$work/$name"
  case "$name" in
    vokdyn_model_fuzzer)
      cp examples/*.json "$work/$name"/
      # Models with their .npy shapes: the model text, a line "#npy", the file.
      for npy in examples/*.npy; do
        { cat "${npy%.npy}.json"; printf '\n#npy\n'; cat "$npy"; } > "$work/$name/$(basename "${npy%.npy}").seed"
      done ;;
    vokdyn_npy_fuzzer) cp examples/*.npy "$work/$name"/ ;;
    *)
      local corpus=tests/fuzz/corpus/${name#vokdyn_}
      corpus=${corpus%_fuzzer}
      if [[ -d "$corpus" ]]; then cp "$corpus"/* "$work/$name"/; fi ;;
  esac
}

status=0
for fuzzer in "$build"/bin/*_fuzzer; do
  name=$(basename "$fuzzer")
  seed "$name"
  if "$fuzzer" -max_total_time="$seconds" -max_len=16384 -artifact_prefix="$build/$name-" \
       "$work/$name" > "$build/$name.log" 2>&1; then
    echo "$name: $(tail -n 1 "$build/$name.log")"
  else
    tail -n 60 "$build/$name.log"
    echo "$name found a fault (input saved as $build/$name-*)"
    status=1
  fi
done
exit $status
