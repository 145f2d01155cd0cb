#!/usr/bin/env bash
# Runs the browser tests against the program served by lighttpd on 127.0.0.1.
#   browser_test.sh ENPANEL MAKE_SITE ARTIFACT_FOLDER
set -euo pipefail
enpanel=$(realpath "$1"); make_site=$(realpath "$2"); artifacts=$(realpath -m "$3")
here="$(cd "$(dirname "$0")/.." && pwd)"
source "$here/scripts/lib.sh"
export PATH="$PATH:/usr/sbin"
[ -x /usr/bin/chromium ] || { echo "missing /usr/bin/chromium: run scripts/test" >&2; exit 1; }

cd "$here/tests/browser"
[ -d node_modules/playwright-core ] || npm ci --no-audit --no-fund >/dev/null

work=$(mktemp -d)
mkdir -p "$work/cgi-bin" "$artifacts"
cp "$enpanel" "$work/cgi-bin/enPanel"
"$make_site" "$work/cgi-bin" >/dev/null
port=$(free_port)
conf=$(lighttpd_config "$work" "$port")
setsid lighttpd -D -f "$conf" &
server=$!
trap 'kill $server 2>/dev/null; wait $server 2>/dev/null; rm -rf "$work"' EXIT
wait_for_port "$port"

ENPANEL_URL="http://127.0.0.1:$port/cgi-bin/enPanel" ENPANEL_ARTIFACTS="$artifacts" \
  node --test --test-concurrency=1 options_page.test.mjs
