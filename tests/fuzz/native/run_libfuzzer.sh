#!/usr/bin/env bash
# Runs every libFuzzer target of a build for a bounded time and prints, per
# target, the inputs executed and the findings. The fuzzer runs in fork mode
# and keeps going after a finding; each kept artifact is then replayed once
# and its first report line names the finding, so distinct findings can be
# counted. Corpora, artifacts and logs stay in <build>/fuzz-runs/<target>.
#
#   tests/fuzz/native/run_libfuzzer.sh <build dir> [seconds per target]
set -uo pipefail
build=${1:?build directory}
seconds=${2:-60}
runs="$build/fuzz-runs"

status=0
summary=()
for target in trunom_fuzz onetn_fuzz gammp_fuzz norm_fuzz cutpoint_fuzz; do
  binary=$(find "$build" -name "$target" -type f -perm -u+x | head -n 1)
  if [ -z "$binary" ]; then
    summary+=("$(printf '%-14s not built' "$target")")
    continue
  fi
  dir="$runs/$target"
  mkdir -p "$dir/corpus" "$dir/artifacts"
  echo "== $target: $seconds s"
  # -timeout: any single input slower than this is a finding; the samplers'
  # draw budget stops practically endless draws long before.
  (cd "$dir" && "$OLDPWD/$binary" corpus -fork=1 -ignore_crashes=1 -ignore_timeouts=1 \
    -ignore_ooms=1 -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix=artifacts/ >log.txt 2>&1)
  executed=$(grep -o '^#[0-9]*' "$dir/log.txt" | tail -n 1 | tr -d '#')
  # Replay the corpus once: how many of its inputs are draws slow by design.
  corpus_size=$(find "$dir/corpus" -type f | wc -l)
  slow=$( (cd "$dir" && "$OLDPWD/$binary" corpus -runs=0 2>&1) | grep -c '^slow by design')
  # One line per artifact: its reports with the numbers taken out (the kind
  # of finding, so that each kind counts once), then the reports themselves.
  : >"$dir/findings.txt"
  for artifact in "$dir"/artifacts/*; do
    [ -f "$artifact" ] || continue
    lines=$("$binary" "$artifact" 2>&1 | grep -E 'FINDING|ERROR: (AddressSanitizer|libFuzzer)|runtime error' |
            grep -v 'deadly signal')
    kind=$(echo "$lines" | sed -E 's/-?(0x)?[0-9][0-9a-fA-Fx.p+-]*/#/g' | sort -u | tr '\n' ' ')
    printf '%s\t%s\n' "$kind" "$(echo "$lines" | tr '\n' ' ')" >>"$dir/findings.txt"
  done
  kinds=$(cut -f1 "$dir/findings.txt" | sort -u | grep -c . || true)
  summary+=("$(printf '%-14s %10s inputs  %3d artifacts  %2d distinct findings  corpus %d, slow by design %d' \
    "$target" "${executed:-?}" "$(grep -c . "$dir/findings.txt")" "$kinds" "$corpus_size" "$slow")")
  if [ "$kinds" -gt 0 ]; then
    status=1
    sort -u -t $'\t' -k1,1 "$dir/findings.txt" | cut -f2 | sed 's/^/   /'
  fi
done

echo "libFuzzer, $seconds s per target:"
printf '  %s\n' "${summary[@]}"
exit $status
