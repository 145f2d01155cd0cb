#!/usr/bin/env bash
# The program served by real web servers (lighttpd and Apache httpd, each with
# its CGI module) on 127.0.0.1: the page over HTTP is the program's own output.
#   web_servers_test.sh ENPANEL MAKE_SITE
set -uo pipefail
enpanel="$1"
make_site="$2"
here="$(cd "$(dirname "$0")/.." && pwd)"
source "$here/scripts/lib.sh"

for tool in lighttpd apache2 curl ss; do
  command -v "$tool" >/dev/null || [ -x "/usr/sbin/$tool" ] || { echo "missing $tool: run scripts/test" >&2; exit 1; }
done
export PATH="$PATH:/usr/sbin"

work=$(mktemp -d)
chmod 755 "$work"
server_pid=""
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

passed=0
failed=0
check() {  # NAME CONDITION...
  local name="$1"; shift
  if "$@"; then passed=$((passed + 1)); echo "ok: $name"; else failed=$((failed + 1)); echo "FAILED: $name"; fi
}

# The body of the program's own response: after its four header lines and
# the blank line.
cgi_body() { tail -n +6; }

make_site_for() {  # SERVER
  local site="$work/$1"
  mkdir -p "$site/cgi-bin" "$site/htdocs" "$site/logs"
  cp "$enpanel" "$site/cgi-bin/enPanel"
  "$make_site" "$site/cgi-bin" --books 60 >/dev/null
  echo "$site"
}

start_lighttpd() {  # SITE PORT
  local conf
  conf=$(lighttpd_config "$1" "$2")
  setsid lighttpd -D -f "$conf" &
  server_pid=$!
}

start_apache() {  # SITE PORT
  local site="$1" port="$2" mods=/usr/lib/apache2/modules
  cat >"$site/httpd.conf" <<CONF
ServerRoot "$site"
Listen 127.0.0.1:$port
ServerName localhost
PidFile "$site/logs/httpd.pid"
DefaultRuntimeDir "$site/logs"
ErrorLog "$site/logs/apache-error.log"
LogLevel warn
LoadModule mpm_prefork_module $mods/mod_mpm_prefork.so
LoadModule authz_core_module $mods/mod_authz_core.so
LoadModule alias_module $mods/mod_alias.so
LoadModule cgi_module $mods/mod_cgi.so
User www-data
Group www-data
DocumentRoot "$site/htdocs"
ScriptAlias /cgi-bin/ "$site/cgi-bin/"
<Directory "$site/cgi-bin">
  Options +ExecCGI
  Require all granted
</Directory>
CONF
  # The CGI runs as the server's account, which must be able to write the site.
  chown -R www-data:www-data "$site/cgi-bin"
  setsid apache2 -f "$site/httpd.conf" -DFOREGROUND &
  server_pid=$!
}

stop_server() {
  kill "$server_pid" 2>/dev/null
  wait "$server_pid" 2>/dev/null
  server_pid=""
}

for server in lighttpd apache; do
  site=$(make_site_for "$server")
  port=$(free_port)
  "start_$server" "$site" "$port"
  if ! wait_for_port "$port"; then
    echo "FAILED: $server did not start"; cat "$site"/logs/*error* 2>/dev/null; failed=$((failed + 1)); continue
  fi
  url="http://127.0.0.1:$port/cgi-bin/enPanel"

  curl -s -D "$work/h" -o "$work/body" "$url"
  (cd "$site/cgi-bin" && env -i SERVER_PROTOCOL=HTTP/1.1 REQUEST_METHOD=GET HTTP_HOST=localhost \
    REMOTE_ADDR=127.0.0.1 ./enPanel) | cgi_body >"$work/direct"
  status=$(head -n 1 "$work/h" | tr -d '\r')
  length=$(grep -i '^Content-Length:' "$work/h" | tr -d '\r' | awk '{print $2}')
  check "$server: status 200 ($status)" test "$(echo "$status" | awk '{print $2}')" = 200
  check "$server: Content-Type text/html" grep -qi '^Content-Type: text/html' "$work/h"
  if [ -n "$length" ]; then
    check "$server: Content-Length $length is the body's length" test "$length" = "$(wc -c <"$work/body")"
  else
    check "$server: chunked instead of a length" grep -qi '^Transfer-Encoding: chunked' "$work/h"
  fi
  check "$server: body equals the program's own output ($(wc -c <"$work/body") bytes)" cmp -s "$work/body" "$work/direct"
  check "$server: page complete" sh -c "tail -c 7 '$work/body' | grep -q '</HTML>'"

  curl -s -H "Host: www.kutubix.net" -o "$work/mirror" "$url"
  check "$server: mirror host gets the notice" grep -q 'You used: WWW.KUTUBIX.NET' "$work/mirror"

  code=$(curl -s -o /dev/null -w '%{http_code}' "$url/extra")
  check "$server: path info gets the server's error ($code)" test "$code" = 500
  check "$server: listens on 127.0.0.1 only" sh -c "ss -ltnH | grep -q ' 127.0.0.1:$port ' && ! ss -ltnH | grep ':$port ' | grep -vq ' 127.0.0.1:$port '"
  stop_server
done

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
