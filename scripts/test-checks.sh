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

# fetch_as_browser URL HEADERS BODY: asks URL as a browser does (gzip,
# deflate, br) until the answer comes in brotli, at most 10 s (a persistent
# process makes its page's forms a moment after the page is first asked
# for); the last answer's header lines go to HEADERS, its body to BODY.
fetch_as_browser() {
  local i
  for i in $(seq 100); do
    curl -s -H 'Accept-Encoding: gzip, deflate, br' -D "$2" -o "$3" "$1"
    grep -qi '^Content-Encoding: *br' "$2" && return 0
    sleep 0.1
  done
}

# Load of 8 clients asking URL over and over: `load_start URL DIR` starts
# them (each writes its answers' status codes to DIR/codes.N), `load_stop
# DIR` ends them and sets `load_answers` and `load_refused` (the answers
# that were not 200).
load_start() {
  local i
  touch "$2/load"
  load_clients=()
  for i in $(seq 8); do
    ( while [ -e "$2/load" ]; do curl -s -o /dev/null -m 10 -w '%{http_code}\n' "$1"; done ) >"$2/codes.$i" &
    load_clients+=($!)
  done
}
load_stop() {
  rm -f "$1/load"
  wait "${load_clients[@]}"
  load_answers=$(cat "$1"/codes.* | wc -l)
  load_refused=$(cat "$1"/codes.* | grep -vc '^200$')
}
