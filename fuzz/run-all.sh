#!/bin/sh
# Runs every libFuzzer target of this build, FUZZ_SECONDS each (default 60); run
# from the fuzz build folder (`make fuzz` does). FUZZ_ARGS adds libFuzzer options.
#
# Each target writes the inputs it finds to corpus/NAME (its first corpus folder)
# and reads its seed folders where they are; an input that crashes is saved in
# findings/NAME/. The exit status is 1 when any target failed.
set -u
seconds=${FUZZ_SECONDS:-60}
manifest=fuzz/fuzz-targets.txt
if [ ! -f "$manifest" ]; then
  echo "run-all.sh: no $manifest here; run it from the fuzz build folder" >&2
  exit 2
fi
status=0
while IFS='|' read -r name seeds; do
  [ -n "$name" ] || continue
  mkdir -p "corpus/$name" "findings/$name"
  set --
  rest=$seeds
  while [ -n "$rest" ]; do
    seed=${rest%%|*}
    if [ "$seed" = "$rest" ]; then rest=""; else rest=${rest#*|}; fi
    if [ -d "$seed" ]; then
      set -- "$@" "$seed"
    elif [ -n "$seed" ]; then
      echo "note: seed folder $seed is absent; fuzzing fuzz_$name without it"
    fi
  done
  echo "== fuzz_$name for ${seconds}s"
  # shellcheck disable=SC2086 # FUZZ_ARGS is a list of options
  if ! "fuzz/fuzz_$name" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix="findings/$name/" ${FUZZ_ARGS:-} "corpus/$name" "$@"; then
    echo "fuzz_$name failed; the input is in findings/$name/" >&2
    status=1
  fi
done < "$manifest"
exit $status
