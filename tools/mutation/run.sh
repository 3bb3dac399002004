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
# to stdout and to <build>/mutation-results.tsv, then the totals.
set -uo pipefail
cd "$(dirname "$0")/../.."
build="${1:?usage: tools/mutation/run.sh <build-folder> [id-regex]}"
only="${2:-.}"
results="$build/mutation-results.tsv"
lock=/tmp/vorpix-build.lock  # shared with one's own builds: one build at a time
export QT_QPA_PLATFORM=offscreen
: > "$results"

restore() { [[ -n "${backup:-}" && -f "$backup" ]] && cp "$backup" "$file" && rm -f "$backup"; backup=; }
trap 'restore; exit 130' INT TERM
trap restore EXIT

caught=0 survived=0 nobuild=0 stale=0
while IFS=$'\t' read -r id file filter; do
  module=$(cut -d/ -f2 <<<"$file")
  backup=$(mktemp) && cp "$file" "$backup"
  if ! python3 tools/mutation/fault.py apply "$id"; then
    status=stale failing="" stale=$((stale + 1))
  elif ! flock "$lock" timeout 1200 cmake --build "$build" --target "${module}_tests" >"$build/mutation-build.log" 2>&1 </dev/null; then
    status=nobuild failing="" nobuild=$((nobuild + 1))
  else
    args=(--gtest_brief=1)
    [[ -n "$filter" ]] && args+=("--gtest_filter=$filter")
    out=$(cd "$build/tests/$module" && timeout 600 "./${module}_tests" "${args[@]}" 2>&1 </dev/null)
    rc=$?
    failing=$(grep -oP '^\[  FAILED  \] \K[A-Za-z0-9_/.]+' <<<"$out" | sort -u | paste -sd, -)
    if [[ $rc -eq 0 ]]; then
      status=SURVIVED survived=$((survived + 1))
    else
      [[ $rc -eq 124 ]] && failing="timeout${failing:+,$failing}"
      [[ -z "$failing" ]] && failing="exit-$rc"
      status=caught caught=$((caught + 1))
    fi
  fi
  restore
  printf '%s\t%s\t%s\t%s\n' "$id" "$module" "$status" "$failing" | tee -a "$results"
done < <(python3 tools/mutation/fault.py list "$only")
echo "mutation check: $caught caught, $survived survived, $nobuild did not build, $stale stale" \
  "($(git rev-parse --short HEAD)$(git diff --quiet HEAD -- src tests || echo ' + changes'))" | tee -a "$results"
