#!/usr/bin/env bash
# The scale figures of vokdyn on generated towers, each a ratio of two
# figures measured in the same run on the same files:
#
#   run / cat       the whole `vokdyn harmonic MODEL -o CSV` (load, build,
#                   736 frequencies, CSV) over reading the model's files once
#                   with cat, warm cache, best of 3 each; goal <= 3 with the
#                   participation factors given in the model, <= 5 with them
#                   computed from the nodal masses
#   RSS / bound     vokdyn's peak resident set over 1.1 x the shapes' bytes
#                   (nodes x modes x 6 doubles) + 256 MB; goal <= 1
#   threads         the CSVs of --threads 1 and --threads 2 are identical
#                   (the script fails if they are not, or if a run fails)
#
# and the generator's own wall time and peak resident set.
#
#   bash bench/scale.sh [--sizes 25000x40,250000x200,1000000x200] [--dir DIR]
#                       [--bin DIR] [--need FACTOR] [--force] [--readme]
#
#   --sizes   towers NODESxMODES, comma-separated (default: the three above)
#   --dir     where the big generated files go, in a temporary directory
#             removed at exit (default /var/tmp); each variant's files are
#             removed once measured
#   --bin     where vokdyn and vokdyn-generate are (default: build/bin)
#   --need    the memory the generator or vokdyn may hold, times the shapes'
#             bytes (default 1.1, the goal's bound: vokdyn maps the shapes
#             and the generator streams them, each holding far less);
#             raise it for a build that holds more, or the run may exhaust
#             the memory
#   --force   run a size even when the memory or disk it needs is not free
#   --readme  write the figures into README.md's block between
#             <!-- scale --> and <!-- /scale -->
#
# A size is skipped, with a note, when MemAvailable is below what vokdyn is
# expected to hold (--need x the shapes) or the directory's free space below
# its files (the shapes' .npy and about 100 bytes of JSON per node).
# The participation variant needs `vokdyn-generate --participation`; with an
# older generator it is skipped with a note.
set -euo pipefail
export LC_ALL=C
cd "$(dirname "$0")/.."

need=1.1
kRuns=3
sizes=25000x40,250000x200,1000000x200
dir=""
bin=build/bin
force=0
readme=0
while (($#)); do
  case "$1" in
    --sizes) sizes="$2"; shift 2 ;;
    --dir) dir="$2"; shift 2 ;;
    --bin) bin="$2"; shift 2 ;;
    --need) need="$2"; shift 2 ;;
    --force) force=1; shift ;;
    --readme) readme=1; shift ;;
    -h|--help) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    *) echo "scale.sh: unknown argument '$1' (see --help)" >&2; exit 2 ;;
  esac
done
command=(bash bench/scale.sh --sizes "$sizes")
[[ $bin == build/bin ]] || command+=(--bin "$bin")
[[ $need == 1.1 ]] || command+=(--need "$need")
((force)) && command+=(--force)
[[ "$need" =~ ^[0-9]+(\.[0-9]+)?$ ]] || { echo "scale.sh: --need: '$need' is not a number" >&2; exit 2; }

die() { echo "scale.sh: $*" >&2; exit 1; }
[[ -x /usr/bin/time ]] || die "/usr/bin/time is missing (package time; bash scripts/deps.sh installs it)"
vokdyn=$(realpath "$bin/vokdyn") generate=$(realpath "$bin/vokdyn-generate")
[[ -x "$vokdyn" && -x "$generate" ]] || die "no vokdyn or vokdyn-generate in $bin (build first)"
participation=0
"$generate" --help | grep -q -- '--participation' && participation=1

mkdir -p "${dir:=/var/tmp}"
dir=$(mktemp -d "$(realpath "$dir")/vokdyn-scale.XXXXXX")
trap 'rm -rf "$dir"' EXIT

calc() { awk "BEGIN { printf \"%.${2:-3}f\", $1 }"; }
le() { awk "BEGIN { exit !($1 <= $2) }"; }
mb() { calc "$1 / 1e6" 0; }
grouped() { sed ':a; s/\B[0-9]\{3\}\>/,&/; ta' <<<"$1"; }

# Runs "$@" under /usr/bin/time -v: sets wall (seconds, from the shell's
# microsecond clock, finer than time's hundredths) and rss (bytes). Fails
# the script, with the command's messages, if it fails.
timed() {
  local log=$dir/time.log start
  start=$EPOCHREALTIME
  if ! /usr/bin/time -v -o "$log" "$@" >"$dir/run.out" 2>"$dir/run.err"; then
    cat "$dir/run.err" >&2
    die "failed: $*"
  fi
  wall=$(calc "$EPOCHREALTIME - $start" 6)
  rss=$(($(awk -F': ' '/Maximum resident set size/ { print $2 }' "$log") * 1024))
}

# Best wall time of kRuns runs of "$@" (and the largest rss of them).
best() {
  local b="" r=0 k
  for ((k = 0; k < kRuns; ++k)); do
    timed "$@"
    if [[ -z "$b" ]] || le "$wall" "$b"; then b=$wall; fi
    ((rss > r)) && r=$rss
  done
  wall=$b rss=$r
}

# Reading the files once, warm cache: the fastest of kRuns cats after one
# to warm the cache.
cat_seconds() {
  local b="" k start t
  cat "$@" >/dev/null
  for ((k = 0; k < kRuns; ++k)); do
    start=$EPOCHREALTIME
    cat "$@" >/dev/null
    t=$(calc "$EPOCHREALTIME - $start" 6)
    if [[ -z "$b" ]] || le "$t" "$b"; then b=$t; fi
  done
  echo "$b"
}

rows=()      # README rows
notes=()
worst_given="" worst_computed="" worst_rss=""
missed_given="" missed_computed=""  # the towers that miss a run / cat goal
worse() { if [[ -z "$1" ]] || le "$1" "$2"; then echo "$2"; else echo "$1"; fi; }

# Wall times on a shared machine count the other processes too: the load
# average beside the figures says how busy it was.
load=$(cut -d' ' -f1 /proc/loadavg)
echo "vokdyn scale figures: $(nproc) processors, $(awk '/MemTotal/ { printf "%.1f", $2 / 1048576 }' /proc/meminfo) GiB of memory, load average $load, files in $dir"
for size in ${sizes//,/ }; do
  [[ "$size" =~ ^([0-9]+)x([0-9]+)$ ]] || die "--sizes: '$size' is not NODESxMODES"
  nodes=${BASH_REMATCH[1]} modes=${BASH_REMATCH[2]}
  shapes=$((nodes * modes * 48))
  bound=$(calc "1.1 * $shapes + 256e6" 0)
  name="$(grouped "$nodes") x $modes"
  mem_need=$(calc "$need * $shapes" 0)
  mem_free=$(($(awk '/MemAvailable/ { print $2 }' /proc/meminfo) * 1024))
  disk_need=$((shapes + 100 * nodes + 64000000))
  disk_free=$(df -PB1 "$dir" | awk 'NR == 2 { print $4 }')
  echo
  echo "== tower of $name: shapes $(mb "$shapes") MB, bound 1.1 x shapes + 256 MB = $(mb "$bound") MB"
  if ((!force)) && ((mem_need > mem_free || disk_need > disk_free)); then
    note="$name skipped: needs $(mb "$mem_need") MB of memory ($need x the shapes) and $(mb "$disk_need") MB of disk, $(mb "$mem_free") MB and $(mb "$disk_free") MB free (--force runs it)"
    echo "note: $note"
    notes+=("$note")
    continue
  fi
  printf '%-10s %9s %9s %7s %9s %9s %7s %9s %9s %s\n' participation "gen s" "gen MB" "cat s" "1 thr s" "2 thr s" "run/cat" "peak MB" "RSS/bound" "threads"
  for variant in computed given; do
    flags=()
    if [[ $variant == given ]]; then
      if ((!participation)); then
        note="$name, participation given: skipped, $bin/vokdyn-generate has no --participation"
        echo "note: $note"
        notes+=("$note")
        continue
      fi
      flags=(--participation)
    fi
    work=$dir/$nodes-$modes-$variant
    mkdir -p "$work"
    pushd "$work" >/dev/null
    timed "$generate" --nodes "$nodes" --modes "$modes" "${flags[@]}" --npy tower.npy tower.json
    gen_s=$wall gen_rss=$rss
    sync tower.json tower.npy  # their write-back must not run during the timings
    cat_s=$(cat_seconds tower.json tower.npy)
    best "$vokdyn" harmonic tower.json -o out-1.csv --threads 1
    run1=$wall peak=$rss
    best "$vokdyn" harmonic tower.json -o out-2.csv --threads 2
    run2=$wall
    ((rss > peak)) && peak=$rss
    cmp -s out-1.csv out-2.csv || die "$name, participation $variant: the CSVs of --threads 1 and 2 differ"
    popd >/dev/null
    rm -rf "$work"
    # The goal holds for both thread counts: the slower one counts.
    slow=$(worse "$run1" "$run2")
    ratio=$(calc "$slow / $cat_s" 2)
    rss_ratio=$(calc "$peak / $bound" 2)
    printf '%-10s %9.2f %9s %7.3f %9.3f %9.3f %7s %9s %9s %s\n' "$variant" "$gen_s" "$(mb "$gen_rss")" "$cat_s" "$run1" "$run2" "$ratio" "$(mb "$peak")" "$rss_ratio" identical
    if [[ $variant == given ]]; then goal=3; worst_given=$(worse "$worst_given" "$ratio")
    else goal=5; worst_computed=$(worse "$worst_computed" "$ratio"); fi
    if ! le "$ratio" "$goal"; then
      if [[ $variant == given ]]; then missed_given+="${missed_given:+, }$name"
      else missed_computed+="${missed_computed:+, }$name"; fi
    fi
    worst_rss=$(worse "$worst_rss" "$rss_ratio")
    rows+=("| $name | $(mb "$shapes") MB | $variant | $(calc "$run1" 2) s, $(calc "$run2" 2) s | $(calc "$cat_s * 1000" 1) ms | **$ratio** (<= $goal) | $(mb "$peak") MB | **$rss_ratio** (<= 1) | $(calc "$gen_s" 1) s, $(mb "$gen_rss") MB |")
  done
done

verdict() {  # worst goal [towers that miss it]
  if [[ -z "$1" ]]; then echo "not measured"
  elif le "$1" "$2"; then echo "met (worst $1)"
  else echo "not met (worst $1; missed by $3, met by the others)"; fi
}
goals=("run / cat <= 3, participation given: $(verdict "$worst_given" 3 "$missed_given")"
       "run / cat <= 5, participation computed: $(verdict "$worst_computed" 5 "$missed_computed")"
       "peak RSS / (1.1 x shapes + 256 MB) <= 1: $(verdict "$worst_rss" 1)")
[[ -n "$worst_rss" ]] && goals+=("threads 1 and 2 give identical CSVs: met")
echo
for g in "${goals[@]}"; do echo "goal $g"; done
for n in "${notes[@]}"; do echo "note: $n"; done

if ((readme)); then
  grep -q '^<!-- scale -->$' README.md && grep -q '^<!-- /scale -->$' README.md ||
    die "README.md has no block between <!-- scale --> and <!-- /scale --> lines"
  block=$dir/readme-block.md
  {
    echo "Measured by \`${command[*]} --readme\` ($(nproc) processors, load average $load at the start, 736 frequencies, best of $kRuns, warm cache; run / cat counts the slower of 1 and 2 threads):"
    echo
    echo "| tower (nodes x modes) | shapes | participation | run, 1 and 2 threads | cat | run / cat | peak RSS | RSS / (1.1 shapes + 256 MB) | generator (time, peak) |"
    echo "|---|---|---|---|---|---|---|---|---|"
    for r in "${rows[@]}"; do echo "$r"; done
    echo
    for g in "${goals[@]}"; do echo "- Goal $g."; done
    for n in "${notes[@]}"; do echo "- Note: $n."; done
  } >"$block"
  awk -v block="$block" '
    $0 == "<!-- /scale -->" { skip = 0 }
    !skip { print }
    $0 == "<!-- scale -->" { while ((getline line < block) > 0) print line; skip = 1 }
  ' README.md >"$dir/README.md"
  cat "$dir/README.md" >README.md
  echo "README.md: scale figures written"
fi
