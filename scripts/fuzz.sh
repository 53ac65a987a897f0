#!/usr/bin/env bash
# Builds the libFuzzer targets (preset "fuzz": clang, AddressSanitizer,
# UndefinedBehaviorSanitizer) and runs each of them for a bounded time.
#
#   scripts/fuzz.sh                 30 seconds per target (what CI runs)
#   scripts/fuzz.sh 3600            the long run: an hour per target
#   scripts/fuzz.sh 600 fuzz_parse_path     one target only
#
# Each target starts from a copy of its committed seeds (fuzz/corpus/<target>)
# in build/fuzz/runs/<target>/corpus, which keeps what the runs discover, so a
# later run goes on from there and the committed corpus stays small.  The
# committed seeds include the reproducers of earlier findings, so every run
# replays them first.  fuzz_brand also starts from both real launchers,
# copied from the Windows builds (cmake --preset windows, windows-x86) when
# they are there; its inputs may be as large as they are, and more.
#
# Any crash, hang (an input running over 10 s), leak, sanitizer report or
# broken invariant ends that target's run; the script then names the input
# that caused it (build/fuzz/runs/<target>/artifacts/) and exits with 1 once
# every target has run.  To replay one input:
#   build/fuzz/fuzz/<target> <file>
# A finding is fixed in the launcher and its minimised input added to
# fuzz/corpus/<target>/ as a regression seed.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-30}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(fuzz_config_reader fuzz_parse_path fuzz_command_line fuzz_jar_file fuzz_brand fuzz_icon_file)
fi

if ! cmake --list-presets 2>/dev/null | grep -q '"fuzz"'; then
  echo "CMakePresets.json has no \"fuzz\" preset" >&2
  exit 2
fi
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

failed=()
for target in "${targets[@]}"; do
  work=build/fuzz/runs/$target
  mkdir -p "$work/corpus" "$work/artifacts"
  cp fuzz/corpus/"$target"/* "$work/corpus/"
  dictionary=()
  if [ -f fuzz/"$target".dict ]; then dictionary=(-dict=fuzz/"$target".dict); fi
  max_len=8192
  if [ "$target" = fuzz_brand ]; then
    # The launchers are about 120 KiB; the seeds of items 2 and 3 about 300.
    max_len=524288
    for build in windows windows-x86; do
      if [ -f build/$build/tarnwick.exe ]; then
        cp build/$build/tarnwick.exe "$work/corpus/launcher_$build.exe"
      else
        echo "   (build/$build/tarnwick.exe is missing: $target starts without that launcher)"
      fi
    done
  fi

  echo "== $target: ${seconds} s"
  status=0
  build/fuzz/fuzz/"$target" "$work/corpus" "${dictionary[@]}" \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len="$max_len" \
    -artifact_prefix="$work/artifacts/" -print_final_stats=1 \
    >"$work/fuzz.log" 2>&1 || status=$?

  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$work/fuzz.log")
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/fuzz.log")
  if [ "$status" -ne 0 ]; then
    failed+=("$target")
    echo "!! $target: finding (exit status $status); log: $work/fuzz.log"
    tail -n 40 "$work/fuzz.log"
  else
    echo "   $target: ${runs:-?} inputs, ${rate:-?} exec/s, corpus $(ls "$work/corpus" | wc -l) files, no finding"
  fi
done

if [ ${#failed[@]} -ne 0 ]; then
  echo "Findings in: ${failed[*]}" >&2
  exit 1
fi
