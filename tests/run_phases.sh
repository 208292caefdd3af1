#!/bin/sh
# Runs each phase of `make test` in turn, every one even after another has
# failed, and ends with one summary: each phase, passed or failed, and how
# long it took. Exits non-zero when any phase failed.
# usage: run_phases.sh MAKE PHASE...
make=$1
shift
summary=""
failed=0
start_all=$(date +%s)
for phase in "$@"; do
  echo "=== $phase"
  start=$(date +%s)
  if $make --no-print-directory "$phase"; then result=passed; else result=FAILED; failed=1; fi
  took=$(($(date +%s) - start))
  summary="$summary$(printf '%-15s %-7s %4d s' "$phase" "$result" "$took")
"
done
echo
echo "=== make test summary"
printf '%s' "$summary"
printf '%-15s %-7s %4d s\n' "total" "$([ $failed -eq 0 ] && echo passed || echo FAILED)" \
  "$(($(date +%s) - start_all))"
exit $failed
