#!/usr/bin/env bash
# The program served by real web servers, each with a site laid out by
# scripts/install-site and the configuration it wrote, on 127.0.0.1, the
# program running as the unprivileged account www-data: nginx with fcgiwrap,
# Apache with the event MPM and mod_cgid (Debian's default), Apache with the
# prefork MPM and mod_cgi, and lighttpd with mod_cgi.
#   web_servers_test.sh ENPANEL MAKE_SITE
# Needs root: the servers start as root and run CGI programs as www-data, and
# install-site gives the program and the folders their owners.
set -uo pipefail
enpanel="$(realpath "$1")"
make_site="$(realpath "$2")"
here="$(cd "$(dirname "$0")/.." && pwd)"
source "$here/scripts/lib.sh"
export PATH="$PATH:/usr/sbin"

if [ "$(id -u)" -ne 0 ]; then
  echo "SKIPPED: needs root (servers that drop to www-data, owners set by install-site)"
  exit 77
fi
for tool in lighttpd apache2 nginx fcgiwrap curl ss setpriv; do
  command -v "$tool" >/dev/null || { echo "missing $tool: run scripts/test" >&2; exit 1; }
done
[ -x "$(dirname "$enpanel")/enPanel-check" ] || { echo "missing enPanel-check beside $enpanel" >&2; exit 1; }

work=$(mktemp -d)
chmod 755 "$work"
pids=()
# Each server runs in a process group of its own, stopped whole.
stop_servers() {
  local pid
  for pid in "${pids[@]}"; do kill -- "-$pid" 2>/dev/null; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
  pids=()
}
trap 'stop_servers; rm -rf "$work"' EXIT

passed=0
failed=0
check() {  # NAME CONDITION...
  local name="$1"; shift
  if "$@"; then passed=$((passed + 1)); echo "ok: $name"; else failed=$((failed + 1)); echo "FAILED: $name"; fi
}
as_www() { setpriv --reuid=www-data --regid=www-data --init-groups "$@"; }

"$make_site" "$work/books" --books 60 >/dev/null
chmod -R a+rX "$work/books"

mods=/usr/lib/apache2/modules
start_server() {  # KIND DIR WEB
  local kind="$1" dir="$2" web="$3"
  case "$kind" in
    nginx)
      pids+=("$(start_fcgiwrap "$dir/run/fcgiwrap.sock")")
      setsid nginx -c "$(nginx_main_config "$dir" "$web/enpanel-nginx.conf")" -g 'daemon off;' &
      pids+=($!)
      ;;
    apache-event|apache-prefork)
      local mpm=event cgi=cgid
      [ "$kind" = apache-prefork ] && mpm=prefork cgi=cgi
      cat >"$dir/httpd.conf" <<CONF
ServerRoot "$dir"
ServerName localhost
PidFile "$dir/httpd.pid"
DefaultRuntimeDir "$dir"
ErrorLog "$dir/error.log"
LogLevel warn
LoadModule mpm_${mpm}_module $mods/mod_mpm_${mpm}.so
LoadModule authz_core_module $mods/mod_authz_core.so
LoadModule alias_module $mods/mod_alias.so
LoadModule mime_module $mods/mod_mime.so
LoadModule ${cgi}_module $mods/mod_${cgi}.so
TypesConfig /etc/mime.types
User www-data
Group www-data
$( [ "$cgi" = cgid ] && echo "ScriptSock \"$dir/cgid.sock\"" )
# As Debian's charset.conf offers it: the site's configuration must win.
AddDefaultCharset UTF-8
Include "$web/enpanel-apache.conf"
CONF
      setsid apache2 -f "$dir/httpd.conf" -DFOREGROUND &
      pids+=($!)
      ;;
    lighttpd)
      setsid lighttpd -D -f "$(lighttpd_main_config "$dir" "$web/htdocs" "$web/enpanel-lighttpd.conf")" &
      pids+=($!)
      ;;
  esac
}

# The body of the program's own response: after its four header lines and
# the blank line.
cgi_body() { tail -n +6; }
counter() { cat "$1"/Statistics/*.ctr 2>/dev/null | tr -d '\r\n' || echo 0; }
log_lines() { cat "$1"/Statistics/*.log 2>/dev/null | wc -l; }

for kind in nginx apache-event apache-prefork lighttpd; do
  dir="$work/$kind"
  mkdir -p "$dir"
  site="$dir/site" web="$dir/web" port=$(free_port)
  server=${kind%%-*}
  if ! bash "$here/scripts/install-site" --site "$site" --server "$server" --user www-data \
      --books "$work/books" --web "$web" --port "$port" --address 127.0.0.1 \
      --program "$enpanel" --fcgiwrap-socket "$dir/run/fcgiwrap.sock" >"$dir/install.log" 2>&1; then
    echo "FAILED: $kind: install-site"; cat "$dir/install.log"; failed=$((failed + 1)); continue
  fi
  start_server "$kind" "$dir" "$web"
  if ! wait_for_port "$port"; then
    echo "FAILED: $kind did not start"; cat "$dir"/*.log 2>/dev/null; failed=$((failed + 1)); stop_servers; continue
  fi
  url="http://127.0.0.1:$port/cgi-bin/enPanel"

  curl -s -D "$dir/h" -o "$dir/body" "$url"
  status=$(head -n 1 "$dir/h" | tr -d '\r')
  type=$(grep -i '^Content-Type:' "$dir/h" | tr -d '\r' | cut -d' ' -f2-)
  check "$kind: status 200 ($status)" test "$(echo "$status" | awk '{print $2}')" = 200
  check "$kind: Content-Type \"$type\" has no other charset" \
    sh -c "echo '$type' | grep -Eqi '^text/html(; *charset=windows-1256)?\$'"
  (cd "$site" && as_www env -i SERVER_PROTOCOL=HTTP/1.1 REQUEST_METHOD=GET HTTP_HOST="127.0.0.1:$port" \
    REMOTE_ADDR=127.0.0.1 ./enPanel) | cgi_body >"$dir/direct"
  check "$kind: body equals the program's own output ($(wc -c <"$dir/body") bytes)" cmp -s "$dir/body" "$dir/direct"
  check "$kind: the headers file is the account's" test "$(stat -c %U "$site/Hdrs1020.TXT")" = www-data
  check "$kind: the pictures beside the program are files" \
    test "$(curl -s -o /dev/null -w '%{http_code}' "http://127.0.0.1:$port/cgi-bin/images/keyboard/none.gif")" = 404

  before=$(counter "$site") lines=$(log_lines "$site")
  ok=$(seq 200 | xargs -P 8 -I{} curl -s -o /dev/null -w '%{http_code}\n' "$url" | grep -c '^200$')
  check "$kind: 200 requests 8 at a time answered ($ok)" test "$ok" = 200
  check "$kind: the counter moved by exactly 200 ($before -> $(counter "$site"))" \
    test "$(counter "$site")" = $((before + 200))
  check "$kind: 200 more log lines" test "$(log_lines "$site")" = $((lines + 200))

  old=$(stat -c %i "$site/Hdrs1020.TXT")
  sleep 0.01
  touch "$site/fulltxt/ARQUR.TXT"
  curl -s -o /dev/null "$url"
  check "$kind: touching a book rebuilds the headers file through the server" \
    test "$(stat -c %i "$site/Hdrs1020.TXT")" != "$old"
  check "$kind: the old headers file is the backup" test -f "$site/Hdrs1020.bak"

  chown root:root "$site/Statistics"
  errors_before=$(cat "$dir"/error.log "$dir"/breakage.log 2>/dev/null | grep -c 'enPanel: .*Statistics')
  curl -s -o /dev/null "$url"
  sleep 0.2
  errors_after=$(cat "$dir"/error.log "$dir"/breakage.log 2>/dev/null | grep -c 'enPanel: .*Statistics')
  check "$kind: an unwritable Statistics/ puts a line in the server's error log" \
    test "$errors_after" = $((errors_before + 1))
  chown www-data:www-data "$site/Statistics"

  code=$(curl -s -o /dev/null -w '%{http_code}' "$url/extra")
  check "$kind: path info gets the server's error status ($code)" test "${code:0:1}" = 5

  curl -s -H "Host: www.kutubix.net" -o "$dir/mirror" "$url"
  check "$kind: a mirror host gets the notice" grep -q 'You used: WWW.KUTUBIX.NET' "$dir/mirror"

  cp "$site/enPanel" "$dir/program-before"
  as_www sh -c "cp /bin/true '$site/enPanel'" 2>/dev/null
  as_www sh -c "mv -f '$site/enPanel' '$site/moved'" 2>/dev/null
  as_www sh -c "rm -f '$site/enPanel'" 2>/dev/null
  as_www sh -c "ln -sfn /bin/true '$web/cgi-bin/enPanel'" 2>/dev/null
  check "$kind: the web account cannot replace the program" \
    sh -c "cmp -s '$site/enPanel' '$dir/program-before' && [ ! -e '$site/moved' ] && [ \"\$(readlink '$web/cgi-bin/enPanel')\" = '$site/enPanel' ]"
  check "$kind: the site check finds the site sound" "$site/enPanel-check" "$site" --user www-data
  check "$kind: listens on 127.0.0.1 only" sh -c "ss -ltnH | grep -q ' 127.0.0.1:$port ' && ! ss -ltnH | grep ':$port ' | grep -vq ' 127.0.0.1:$port '"
  stop_servers
done

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
