#!/usr/bin/env bash
# Runs the browser tests against the program served by lighttpd on 127.0.0.1:
# the program as this build is set, and the program built for today's
# browsers, each on a generated site with the pictures a site provides.
#   browser_test.sh ENPANEL SETTING TODAYS_ENPANEL MAKE_SITE ARTIFACT_FOLDER
set -euo pipefail
enpanel=$(realpath "$1"); setting="$2"; todays=$(realpath "$3"); make_site=$(realpath "$4")
artifacts=$(realpath -m "$5")
here="$(cd "$(dirname "$0")/.." && pwd)"
source "$here/scripts/lib.sh"
export PATH="$PATH:/usr/sbin"
need /usr/bin/chromium node npm lighttpd /usr/bin/convert

cd "$here/tests/browser"
# The pinned playwright-core, installed anew when another version is there.
wanted=$(sed -n 's/.*"playwright-core": "\(.*\)".*/\1/p' package.json)
installed=$(sed -n 's/^  "version": "\(.*\)".*/\1/p' node_modules/playwright-core/package.json 2>/dev/null || true)
[ "$installed" = "$wanted" ] || npm ci --no-audit --no-fund >/dev/null

work=$(mktemp -d)
chmod 755 "$work"
mkdir -p "$artifacts"
for build in default todays; do
  mkdir -p "$work/$build/cgi-bin" "$work/$build/htdocs"
  "$make_site" "$work/$build/cgi-bin" >/dev/null
  bash "$here/scripts/make-pictures" "$work/$build/cgi-bin" "$work/$build/htdocs"
done
cp "$enpanel" "$work/default/cgi-bin/enPanel"
cp "$todays" "$work/todays/cgi-bin/enPanel"
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
declare -A url
for build in default todays; do
  port=$(free_port)
  conf=$(lighttpd_config "$work/$build" "$port")
  setsid lighttpd -D -f "$conf" &
  pids+=($!)
  wait_for_port "$port"
  url[$build]="http://127.0.0.1:$port/cgi-bin/enPanel"
done

status=0
ENPANEL_URL="${url[default]}" ENPANEL_SETTING="$setting" ENPANEL_ARTIFACTS="$artifacts" \
  ENPANEL_SHOT=options-page.png node --test --test-concurrency=1 options_page.test.mjs || status=1
ENPANEL_URL="${url[todays]}" ENPANEL_SETTING=ON ENPANEL_ARTIFACTS="$artifacts" \
  ENPANEL_SHOT=options-page-todays.png ENPANEL_DOCS="$here/docs" \
  node --test --test-concurrency=1 options_page.test.mjs || status=1
exit $status
