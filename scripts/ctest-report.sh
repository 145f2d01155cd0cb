# CTest runs for scripts/test, and the skipped tests they leave.

# run_ctest BUILD_DIR CTEST_ARGS...: ctest, its report kept in
# BUILD_DIR/ctest-report.log for report_skipped.
run_ctest() {
  local dir="$1"
  shift
  ctest "$@" 2>&1 | tee "$dir/ctest-report.log"
}

# report_skipped BUILD_DIR...: the tests that the last run_ctest in each build
# skipped, each with the reason it gave (a script's "SKIPPED: ..." line, or
# the line after GoogleTest's "Skipped"); "none" when none was.
report_skipped() {
  local dir any=0 number name reason
  for dir in "$@"; do
    [ -f "$dir/ctest-report.log" ] || continue
    while read -r number name; do
      any=1
      reason=$(awk -v n="$number" '
        $0 ~ "^ *" n "/[0-9]+ Test: " { inside = 1; next }
        inside && /^SKIPPED: / { print substr($0, 10); exit }
        inside && /: Skipped$/ { getline; print; exit }
        inside && /^Test (Passed|Failed)/ { exit }' "$dir/Testing/Temporary/LastTest.log")
      echo "  $(basename "$dir"): $name: ${reason:-no reason given}"
    done < <(sed -n 's/^[[:space:]]*\([0-9]*\) - \(.*\) (Skipped)$/\1 \2/p' "$dir/ctest-report.log")
  done
  [ "$any" = 1 ] || echo "  none"
}
