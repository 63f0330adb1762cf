#!/usr/bin/env bash
# Plants each fault of scripts/mutants.list alone in a copy of the checkout,
# rebuilds, runs the suite and prints how many faults it catches.
#   bash scripts/mutants.sh                 # every fault
#   bash scripts/mutants.sh --only a,b      # some faults
#   bash scripts/mutants.sh --check         # does every fault still apply?
set -euo pipefail
cd "$(dirname "$0")/.."
command -v python3 >/dev/null || bash scripts/deps.sh
exec python3 scripts/mutants.py "$@"
