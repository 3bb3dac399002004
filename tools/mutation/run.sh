#!/usr/bin/env bash
# Mutation check: applies each deliberate fault of tools/mutation/faults.tsv
# (one exact string replaced in one file), rebuilds only that module's test
# program, runs it, records which tests fail, and restores the file.
#
# Run it in a separate worktree so the faults never touch a shared checkout:
#   git worktree add --detach /work/mut HEAD
#   cd /work/mut && cmake --preset release -B build/mut -DVORPIX_BUILD_BENCHMARKS=OFF \
#       -DVORPIX_ONLY_MODULES="model;timeline;camera;render;media;import;update"
#   nice -n 15 tools/mutation/run.sh build/mut [fault-id-pattern]
#
# Prints one line per fault (id, caught/SURVIVED/nobuild, the failing tests)
# to stdout and to <build>/mutation-results.tsv, then the totals. Tests that
# fail without any fault (someone's work in progress) are reported once and
# never count as catching one.
set -uo pipefail
cd "$(dirname "$0")/../.."
build="${1:?usage: tools/mutation/run.sh <build-folder> [id-regex]}"
only="${2:-.}"
results="$build/mutation-results.tsv"
lock=${VORPIX_BUILD_LOCK:-/tmp/vorpix-build.lock}  # shared with one's own builds: one build at a time
export QT_QPA_PLATFORM=offscreen LC_ALL=C
: > "$results"

restore() { [[ -n "${backup:-}" && -f "$backup" ]] && cp "$backup" "$file" && rm -f "$backup"; backup=; }
trap 'restore; exit 130' INT TERM
trap restore EXIT

# The failing tests of a test program's run, one a line.
run_tests() {  # module [gtest filter]
  local args=(--gtest_brief=1)
  [[ -n "${2:-}" ]] && args+=("--gtest_filter=$2")
  out=$(cd "$build/tests/$1" && timeout 600 "./$1_tests" "${args[@]}" 2>&1 </dev/null)
  rc=$?
  grep -oP '^\[  FAILED  \] \K[A-Za-z0-9_/.]+' <<<"$out" | sort -u
  return $rc
}

caught=0 survived=0 nobuild=0 stale=0
declare -A baseline
while IFS=$'\t' read -r id file filter; do
  module=$(cut -d/ -f2 <<<"$file")
  if [[ -z "${baseline[$module]+set}" ]]; then
    # Tests that already fail without a fault do not count as catching one.
    flock "$lock" cmake --build "$build" --target "${module}_tests" >"$build/mutation-build.log" 2>&1 </dev/null
    baseline[$module]=$(run_tests "$module")
    [[ -n "${baseline[$module]}" ]] && echo "$module: failing without a fault: ${baseline[$module]//$'\n'/,}" >&2
  fi
  backup=$(mktemp) && cp "$file" "$backup"
  if ! python3 tools/mutation/fault.py apply "$id"; then
    status=stale failing="" stale=$((stale + 1))
  elif ! flock "$lock" timeout 1200 cmake --build "$build" --target "${module}_tests" >"$build/mutation-build.log" 2>&1 </dev/null; then
    status=nobuild failing="" nobuild=$((nobuild + 1))
  else
    fails=$(run_tests "$module" "$filter")
    rc=$?
    failing=$(comm -23 <(sed '/^$/d' <<<"$fails") <(sed '/^$/d' <<<"${baseline[$module]}") | paste -sd, -)
    if [[ -n "$failing" ]]; then
      status=caught caught=$((caught + 1))
    elif [[ $rc -eq 124 || ( $rc -ne 0 && -z "${baseline[$module]}" ) ]]; then
      status=caught caught=$((caught + 1)) failing="exit-$rc"  # a timeout or crash
    else
      status=SURVIVED survived=$((survived + 1))
    fi
  fi
  restore
  printf '%s\t%s\t%s\t%s\n' "$id" "$module" "$status" "$failing" | tee -a "$results"
done < <(python3 tools/mutation/fault.py list "$only")
# Leave no faulty test program behind.
for module in "${!baseline[@]}"; do
  flock "$lock" cmake --build "$build" --target "${module}_tests" >"$build/mutation-build.log" 2>&1 </dev/null
done
echo "mutation check: $caught caught, $survived survived, $nobuild did not build, $stale stale" \
  "($(git rev-parse --short HEAD)$(git diff --quiet HEAD -- src tests || echo ' + changes'))" | tee -a "$results"
