# The shell tests' checks: `check NAME COMMAND...` runs the command, prints
# "ok: NAME" or "FAILED: NAME", counts it, and returns its outcome;
# `checks_done` prints the counts and fails when any check failed.
passed=0
failed=0
check() {
  local name="$1"
  shift
  if "$@"; then
    passed=$((passed + 1))
    echo "ok: $name"
  else
    failed=$((failed + 1))
    echo "FAILED: $name"
    return 1
  fi
}
checks_done() {
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}
