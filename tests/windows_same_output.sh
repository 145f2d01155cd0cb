#!/usr/bin/env bash
# The Windows executable, run under Wine, writes the same bytes as the Linux
# build on the same generated site: on the first request (which builds the
# headers file), on the next one (which reads it) and for a mirror host.
#   windows_same_output.sh LINUX_BUILD_DIR WINDOWS_EXE
set -euo pipefail
linux_build="$1"
windows_exe="$2"
source "$(dirname "$0")/../scripts/lib.sh"
need wine
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for side in linux windows; do
  mkdir -p "$work/$side/cgi-bin"
  "$linux_build/make_site" "$work/$side/cgi-bin" >/dev/null
done
cp "$linux_build/enPanel" "$work/linux/cgi-bin/enPanel"
cp "$windows_exe" "$work/windows/cgi-bin/enPanel.exe"

run() {  # SIDE HOST OUTPUT
  local side="$1" host="$2" out="$3"
  if [ "$side" = linux ]; then
    (cd "$work/linux/cgi-bin" && env -i SERVER_PROTOCOL=HTTP/1.1 REQUEST_METHOD=GET \
      HTTP_HOST="$host" REMOTE_ADDR=127.0.0.1 ./enPanel >"$out")
  else
    (cd "$work/windows/cgi-bin" && env SERVER_PROTOCOL=HTTP/1.1 REQUEST_METHOD=GET \
      HTTP_HOST="$host" REMOTE_ADDR=127.0.0.1 wine enPanel.exe >"$out" 2>"$work/wine.err")
  fi
}

failed=0
for round in first second; do
  run linux localhost "$work/linux.$round"
  run windows localhost "$work/windows.$round"
  if cmp -s "$work/linux.$round" "$work/windows.$round"; then
    echo "ok: $round request, $(wc -c <"$work/linux.$round") bytes alike"
  else
    echo "FAILED: $round request differs"; cmp "$work/linux.$round" "$work/windows.$round" || true
    failed=1
  fi
done
run linux www.kutubix.net "$work/linux.mirror"
run windows www.kutubix.net "$work/windows.mirror"
if cmp -s "$work/linux.mirror" "$work/windows.mirror"; then echo "ok: mirror notice alike"; else echo "FAILED: mirror notice differs"; failed=1; fi
# The program confines itself: the mitigation policies it sets, as far as
# Wine shows them (it takes each and reports it; only Windows enforces them):
# no child processes (13), no dynamic code (2), strict handle checks (3), no
# remote images (10), each given as one DWORD; and no line says it could not.
policies=$(cd "$work/windows/cgi-bin" && env SERVER_PROTOCOL=HTTP/1.1 REQUEST_METHOD=GET \
  HTTP_HOST=localhost REMOTE_ADDR=127.0.0.1 WINEDEBUG=-all,fixme+process wine enPanel.exe 2>&1 >/dev/null |
  sed -n 's/.*SetProcessMitigationPolicy (\([0-9]*\), [0-9A-Fa-f]*, \([0-9]*\)).*/\1:\2/p' | sort -n | tr '\n' ' ')
if [ "$policies" = "2:4 3:4 10:4 13:4 " ] && ! grep -q unconfined "$work/wine.err"; then
  echo "ok: mitigation policies set: $policies"
else
  echo "FAILED: mitigation policies: '$policies'"; cat "$work/wine.err"; failed=1
fi
cmp -s "$work/linux/cgi-bin/Hdrs1020.TXT" "$work/windows/cgi-bin/Hdrs1020.TXT" \
  && echo "ok: headers files alike" || { echo "FAILED: headers files differ"; failed=1; }
exit $failed
