#!/usr/bin/env bash
# The Windows program as a FastCGI application under Wine, driven through a
# named pipe as IIS drives it (iis_pipe_driver), on one site, and through a
# pipe made without overlapped operations on another; the Windows program
# as a CGI program on a twin site: every answer, the headers file and the
# counter alike. Between the requests nothing changes but the host. Then
# what a server may do besides, on both kinds of pipe (the driver's cases).
#   windows_fastcgi.sh LINUX_BUILD_DIR WINDOWS_EXE DRIVER_EXE
set -euo pipefail
linux_build="$1" windows_exe="$2" driver="$3"
source "$(dirname "$0")/../scripts/lib.sh"
need wine winepath
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for side in fastcgi fastcgi-sync cgi cases; do
  mkdir -p "$work/$side/cgi-bin"
  "$linux_build/make_site" "$work/$side/cgi-bin" --books 80 >/dev/null
  cp "$windows_exe" "$work/$side/cgi-bin/enPanel.exe"
done
hosts=(localhost localhost www.kutubix.net localhost)
: >"$work/requests"
for host in "${hosts[@]}"; do
  echo "SERVER_PROTOCOL=HTTP/1.1|REQUEST_METHOD=GET|HTTP_HOST=$host|REMOTE_ADDR=127.0.0.1" >>"$work/requests"
done
path_info=$((${#hosts[@]} + 1))
echo "SERVER_PROTOCOL=HTTP/1.1|REQUEST_METHOD=GET|HTTP_HOST=localhost|REMOTE_ADDR=127.0.0.1|PATH_INFO=/extra" >>"$work/requests"

status=0
for side in fastcgi fastcgi-sync; do
  mode=()
  [ "$side" = fastcgi-sync ] && mode=(--synchronous)
  if wine "$driver" "${mode[@]}" "$work/$side/cgi-bin/enPanel.exe" "$(winepath -w "$work/requests")" \
      "$(winepath -w "$work/$side.answer")" 2>"$work/driver.err"; then
    echo "ok: $side: the program answered through the pipe and ended when asked"
  else
    echo "FAILED: $side: the driver or the program failed (exit $?)"; cat "$work/driver.err"; status=1
  fi
done
n=0
for host in "${hosts[@]}" ""; do
  n=$((n + 1))
  extra=()
  [ "$n" = "$path_info" ] && extra=(PATH_INFO=/extra) && host=localhost
  (cd "$work/cgi/cgi-bin" && env SERVER_PROTOCOL=HTTP/1.1 REQUEST_METHOD=GET HTTP_HOST="$host" \
    REMOTE_ADDR=127.0.0.1 "${extra[@]}" wine enPanel.exe >"$work/cgi.$n" 2>"$work/cgi.$n.err")
  for side in fastcgi fastcgi-sync; do
    if [ -f "$work/$side.answer.$n" ] && cmp -s "$work/$side.answer.$n" "$work/cgi.$n"; then
      echo "ok: $side: request $n, $(wc -c <"$work/cgi.$n") bytes alike"
    else
      echo "FAILED: $side: request $n differs"; status=1
    fi
  done
done
counter() { cat "$1"/cgi-bin/Statistics/*.ctr | tr -d '\r\n'; }
for side in fastcgi fastcgi-sync; do
  cmp -s "$work/$side/cgi-bin/Hdrs1020.TXT" "$work/cgi/cgi-bin/Hdrs1020.TXT" \
    && echo "ok: $side: headers files alike" || { echo "FAILED: $side: headers files differ"; status=1; }
  [ "$(counter "$work/$side")" = "$(counter "$work/cgi")" ] \
    && echo "ok: $side: each visit counted ($(counter "$work/cgi"))" \
    || { echo "FAILED: $side: counters $(counter "$work/$side") and $(counter "$work/cgi")"; status=1; }
done

cd "$work/cases/cgi-bin"
wine "$driver" --cases enPanel.exe | sed 's/^\(ok\|FAILED\): /\1: overlapped pipe: /' || status=1
wine "$driver" --synchronous --cases enPanel.exe | sed 's/^\(ok\|FAILED\): /\1: synchronous pipe: /' || status=1
exit $status
