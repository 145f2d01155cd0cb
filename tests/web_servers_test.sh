#!/usr/bin/env bash
# The program served by this machine's own web servers, as an operator sets
# them up: for each server and mode, a site laid out by scripts/install-site
# (in folders whose names hold "|" and "&", and a space where the server
# allows), then the line it prints
# to enable the site, run as printed; the program runs as the unprivileged
# account www-data. Kinds: nginx with fcgiwrap, Apache with the event MPM and
# mod_cgid (Debian's default), Apache with the prefork MPM and mod_cgi, and
# lighttpd with mod_cgi, each as a CGI program; nginx with supervisord (or
# systemd, where it runs), Apache with mod_fcgid and lighttpd with
# mod_fastcgi, each with persistent processes.
#   web_servers_test.sh ENPANEL MAKE_SITE HOLD_CONNECTIONS [KIT]
# With KIT (the Debian package's enpanel-install-site), the sites are laid
# out by it from the packaged programs (ENPANEL is the packaged one), the
# lighttpd sites with the page for today's browsers.
# Needs root: the printed lines start the system's servers and write links
# into /etc; install-site gives the program and the folders their owners.
# What the lines enable is disabled again at the end, and the servers are
# stopped.
set -uo pipefail
enpanel="$(realpath "$1")"
make_site="$(realpath "$2")"
hold_connections="$(realpath "$3")"
kit="${4:-}"
here="$(cd "$(dirname "$0")/.." && pwd)"
source "$here/scripts/lib.sh"
export PATH="$PATH:/usr/sbin"

if [ "$(id -u)" -ne 0 ]; then
  echo "SKIPPED: needs root (the system's servers, links in /etc, owners set by install-site)"
  exit 77
fi
need lighttpd /usr/lib/lighttpd/mod_deflate.so gzip brotli apache2 a2enmod /usr/lib/apache2/modules/mod_fcgid.so nginx fcgiwrap supervisorctl \
  curl ss setpriv service pkill
[ -x "$(dirname "$enpanel")/enPanel-check" ] || { echo "missing enPanel-check beside $enpanel" >&2; exit 1; }

work=$(mktemp -d)
chmod 755 "$work"
mpm_before=$(ls /etc/apache2/mods-enabled/ | sed -n 's/^mpm_\(.*\)\.load$/\1/p')
links=()
# Everything the printed lines started or enabled goes again, the Apache
# MPM as it was.
undo() {
  undo_enabled_sites "$work" "${links[@]}"
  links=()
}
restore_mpm() {
  local now
  now=$(ls /etc/apache2/mods-enabled/ | sed -n 's/^mpm_\(.*\)\.load$/\1/p')
  [ "$now" = "$mpm_before" ] && return 0
  a2dismod -q -f "mpm_$now" >/dev/null 2>&1
  a2enmod -q "mpm_$mpm_before" >/dev/null 2>&1
}
trap 'undo; restore_mpm; rm -rf "$work"' EXIT

# The kit: the checkout's, or the package's.
install_site() {
  if [ -n "$kit" ]; then "$kit" "$@"; else bash "$here/scripts/install-site" "$@"; fi
}
as_www() { setpriv --reuid=www-data --regid=www-data --init-groups "$@"; }

"$make_site" "$work/books" --books 60 >/dev/null
chmod -R a+rX "$work/books"

# The body of the program's own response: after its four header lines and
# the blank line.
cgi_body() { tail -n +6; }
counter() { cat "$1"/Statistics/*.ctr 2>/dev/null | tr -d '\r\n' || echo 0; }
log_lines() { cat "$1"/Statistics/*.log 2>/dev/null | wc -l; }
# The server's error log, where the program's lines land.
error_log() {
  case "$1" in
    nginx) echo /var/log/nginx/error.log ;;
    apache) echo /var/log/apache2/error.log ;;
    lighttpd) echo /var/log/lighttpd/error.log ;;
  esac
}
statistics_lines() { grep -c 'enPanel: .*Statistics' "$1" 2>/dev/null || true; }

# The processes that run this site's program, by the path they were started
# with: the program in the site folder, or its link in the web folder.
site_processes() {  # SITE WEB
  local pid args
  for pid in $(pgrep -f 'enPanel$'); do
    args=$(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | sed 's/ $//')
    [ "$args" = "$1/enPanel" ] || [ "$args" = "$2/cgi-bin/enPanel" ] && echo "$pid"
  done | sort | tr '\n' ' '
}

run_kind() {  # KIND SERVER MODE
  local kind="$1" server="$2" mode="$3"
  local dir="$work/$kind" site="$work/$kind/site-$kind" web="$work/$kind/web | a&b" port
  # Apache's mod_fcgid reads the program's path as a command line.
  [ "$kind" = apache-fastcgi ] && web="$work/$kind/web|a&b"
  mkdir -p "$dir"
  port=$(free_port)
  local program=(--program "$enpanel") expected="$enpanel"
  if [ -n "$kit" ]; then
    program=()
    if [ "$server" = lighttpd ]; then
      program=(--page todays) expected="$(dirname "$enpanel")/todays/enPanel"
    fi
  fi
  if ! install_site --site "$site" --server "$server" --mode "$mode" \
      --user www-data --books "$work/books" --web "$web" --port "$port" --address 127.0.0.1 \
      "${program[@]}" >"$dir/install.log" 2>&1; then
    echo "FAILED: $kind: install-site"; cat "$dir/install.log"; failed=$((failed + 1)); return
  fi
  check "$kind: the site's program is $expected" cmp -s "$site/enPanel" "$expected"
  local line
  if [ "$kind" = apache-prefork ]; then
    # The system's Apache switched to prefork, as a site that runs it has it.
    a2dismod -q -f mpm_event >/dev/null 2>&1; a2enmod -q mpm_prefork >/dev/null 2>&1
    line=$(sed -n 's/^  (where Apache runs the prefork MPM: \(.*\))$/\1/p' "$dir/install.log")
  else
    line=$(sed -n '/^\(Enable it with:\|systemd is not running here; enable and start it by hand with:\)$/{n;s/^  //p}' "$dir/install.log")
  fi
  links+=($(grep -o '/etc/[a-z0-9/._-]*enpanel-site-[a-z-]*\.conf' <<<"$line"))
  echo "$kind: $line"
  if ! bash -c "$line" >"$dir/enable.log" 2>&1 || ! wait_for_port "$port"; then
    echo "FAILED: $kind: the printed line did not start the site"; cat "$dir/enable.log"
    failed=$((failed + 1)); undo; return
  fi
  local url="http://127.0.0.1:$port/cgi-bin/enPanel" log
  log=$(error_log "$server")

  curl -s -D "$dir/h" -o "$dir/body" "$url"
  local status type
  status=$(head -n 1 "$dir/h" | tr -d '\r')
  type=$(grep -i '^Content-Type:' "$dir/h" | tr -d '\r' | cut -d' ' -f2-)
  check "$kind: status 200 ($status)" test "$(echo "$status" | awk '{print $2}')" = 200
  check "$kind: Content-Type \"$type\" has no other charset" \
    sh -c "echo '$type' | grep -Eqi '^text/html(; *charset=windows-1256)?\$'"
  (cd "$site" && as_www env -i SERVER_PROTOCOL=HTTP/1.1 REQUEST_METHOD=GET HTTP_HOST="127.0.0.1:$port" \
    REMOTE_ADDR=127.0.0.1 ./enPanel) | cgi_body >"$dir/direct"
  check "$kind: body equals the program's own output ($(wc -c <"$dir/body") bytes)" cmp -s "$dir/body" "$dir/direct"
  curl -s -H 'Accept-Encoding: gzip' -D "$dir/hz" -o "$dir/body.gz" "$url"
  check "$kind: a client that takes gzip gets the same page gzipped ($(wc -c <"$dir/body.gz") bytes)" \
    sh -c "grep -qi '^Content-Encoding: *gzip' '$dir/hz' && [ \$(wc -c <'$dir/body.gz') -le 50000 ] &&
           gzip -dc '$dir/body.gz' | cmp -s - '$dir/direct'"
  check "$kind: the headers file is the account's" test "$(stat -c %U "$site/Hdrs1020.TXT")" = www-data
  check "$kind: the pictures beside the program are files" \
    test "$(curl -s -o /dev/null -w '%{http_code}' "http://127.0.0.1:$port/cgi-bin/images/keyboard/none.gif")" = 404

  local before lines ok pids_before
  before=$(counter "$site") lines=$(log_lines "$site")
  pids_before=$(site_processes "$site" "$web")
  ok=$(seq 200 | xargs -P 8 -I{} curl -s -o /dev/null -w '%{http_code}\n' "$url" | grep -c '^200$')
  check "$kind: 200 requests 8 at a time answered ($ok)" test "$ok" = 200
  check "$kind: the counter moved by exactly 200 ($before -> $(counter "$site"))" \
    test "$(counter "$site")" = $((before + 200))
  check "$kind: 200 more log lines" test "$(log_lines "$site")" = $((lines + 200))
  if [ "$mode" = fastcgi ]; then
    # Each process lives on (a process manager may add one under load, up to
    # the two install-site allows).
    local pids_after pid lived=1
    pids_after=$(site_processes "$site" "$web")
    for pid in $pids_before; do [[ " $pids_after " == *" $pid "* ]] || lived=0; done
    check "$kind: persistent processes served them all (before: $pids_before; after: $pids_after)" \
      test -n "$pids_before" -a "$lived" = 1 -a "$(wc -w <<<"$pids_after")" -le 2 ||
      ps -o pid,ppid,etimes,args -p "$(tr ' ' ',' <<<"$pids_before $pids_after" | sed 's/,*$//')"
  fi

  local old
  old=$(stat -c %i "$site/Hdrs1020.TXT")
  sleep 0.01
  touch "$site/fulltxt/ARQUR.TXT"
  curl -s -o /dev/null "$url"
  check "$kind: touching a book rebuilds the headers file through the server" \
    test "$(stat -c %i "$site/Hdrs1020.TXT")" != "$old"
  check "$kind: the old headers file is the backup" test -f "$site/Hdrs1020.bak"

  chown root:root "$site/Statistics"
  local errors_before errors_after
  errors_before=$(statistics_lines "$log")
  curl -s -o /dev/null "$url"
  sleep 0.3
  errors_after=$(statistics_lines "$log")
  if [ "$server/$mode" = lighttpd/cgi ]; then
    echo "not checked here: $kind: lighttpd gives a CGI program its own standard error, which" \
      "systemd keeps in the journal; under the init script this machine runs, it goes nowhere"
  else
    check "$kind: an unwritable Statistics/ puts one line in $log ($errors_before -> $errors_after)" \
      test "$errors_after" = $((errors_before + 1))
  fi
  chown www-data:www-data "$site/Statistics"

  local code
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
  [ "$mode" = fastcgi ] && kept_forms "$kind" "$url" "$dir/direct"
  [ "$mode" = fastcgi ] && held_peers "$kind" "$url"
  [ "$kind" = nginx-fastcgi ] && restarts "$kind" "$site" "$web" "$port" "$url"
  [ "$kind" = apache-fastcgi ] && upgraded_at_once "$kind" "$site" "$url"
  undo
}

# Under mod_fcgid an upgrade needs no restart: the next request is served
# by the new program, as install-site says.
# A persistent process's kept forms of its page: browsers get it in brotli
# and gzip clients in gzip at its best, once the process has made them (a
# moment after the page is first asked for: until then the server's own
# gzip or the page as it is); each decompresses to the program's page.
kept_forms() {  # KIND URL DIRECT
  local kind="$1" url="$2" direct="$3" dir="$work/$1" i
  fetch_as_browser "$url" "$dir/hb" "$dir/body.br"
  check "$kind: a browser gets the page in brotli ($(wc -c <"$dir/body.br") bytes, at most 18,500)" \
    sh -c "grep -qi '^Content-Encoding: *br' '$dir/hb' && grep -qi '^Vary: *Accept-Encoding' '$dir/hb' &&
           [ \$(wc -c <'$dir/body.br') -le 18500 ] && brotli -dc '$dir/body.br' | cmp -s - '$direct'"
  for i in $(seq 100); do
    curl -s -H 'Accept-Encoding: gzip' -D "$dir/hg" -o "$dir/body.gz9" "$url"
    [ "$(wc -c <"$dir/body.gz9")" -le 31000 ] && break
    sleep 0.1
  done
  check "$kind: a gzip client gets the page in gzip ($(wc -c <"$dir/body.gz9") bytes, at most 31,000)" \
    sh -c "grep -qi '^Content-Encoding: *gzip' '$dir/hg' && [ \$(wc -c <'$dir/body.gz9') -le 31000 ] &&
           gzip -dc '$dir/body.gz9' | cmp -s - '$direct'"
  curl -s -D "$dir/hi" -o "$dir/body.identity" "$url"
  check "$kind: a client that asks for nothing gets the page as it is" \
    sh -c "! grep -qi '^Content-Encoding' '$dir/hi' && cmp -s '$dir/body.identity' '$direct'"
}

upgraded_at_once() {  # KIND SITE URL
  local kind="$1" site="$2" url="$3" dir="$work/$1"
  cp "$enpanel" "$dir/upgrade"
  printf '\0' >>"$dir/upgrade"  # another program, the same behaviour
  install_site --site "$site" --program "$dir/upgrade" >"$dir/upgrade.log" 2>&1 || cat "$dir/upgrade.log"
  check "$kind: install-site says mod_fcgid starts the new program" \
    grep -q 'mod_fcgid starts the new program for the next request' "$dir/upgrade.log"
  local code newest
  code=$(curl -s -o /dev/null -w '%{http_code}' "$url")
  newest=$(pgrep -n -f "^$site/enPanel\$|/cgi-bin/enPanel\$")
  check "$kind: the next request ($code) is served by the new program" \
    sh -c "[ '$code' = 200 ] && cmp -s /proc/$newest/exe '$dir/upgrade'"
}

# Fifty silent connections on each of the program's sockets and one that
# trickles a byte every five seconds: visitors through the server are
# answered as before (each within 2 s, where such peers once held them for
# the 10 to 60 s of the program's waits).
held_peers() {  # KIND URL
  local kind="$1" url="$2" sockets=() s
  case "$kind" in
    nginx-fastcgi) sockets=(/run/enpanel-site-nginx-fastcgi.socket) ;;
    apache-fastcgi) for s in /var/lib/apache2/fcgid/sock/*; do [ -S "$s" ] && sockets+=("$s"); done ;;
    lighttpd-fastcgi) for s in /run/lighttpd/enpanel-site-lighttpd-fastcgi.socket-*; do [ -S "$s" ] && sockets+=("$s"); done ;;
  esac
  if [ ${#sockets[@]} -eq 0 ]; then
    echo "FAILED: $kind: no socket of the program's found"; failed=$((failed + 1)); return
  fi
  "$hold_connections" 30 50 "${sockets[@]}" &
  local holder=$! slowest=0 answered=0 t
  sleep 1
  for _ in $(seq 10); do
    t=$(curl -s -m 20 -o /dev/null -w '%{http_code} %{time_total}' "$url")
    [ "${t%% *}" = 200 ] && answered=$((answered + 1))
    slowest=$(awk -v a="$slowest" -v b="${t##* }" 'BEGIN { print (b > a ? b : a) }')
  done
  kill "$holder" 2>/dev/null; wait "$holder" 2>/dev/null
  check "$kind: with $((50 * ${#sockets[@]})) silent peers and ${#sockets[@]} trickling, 10 visitors answered ($answered), the slowest in ${slowest} s" \
    awk -v n="$answered" -v s="$slowest" 'BEGIN { exit !(n == 10 && s < 2) }'
}

# Where systemd does not run, supervisord keeps the site's processes (as
# install-site lays them out): one killed is serving again within 2 s. Under
# the load of 8 clients at once, the line that restarts them, an upgrade
# and the line it prints refuse no request; the processes then run the
# upgraded program.
restarts() {  # KIND SITE WEB PORT URL
  local kind="$1" site="$2" web="$3" port="$4" url="$5" dir="$work/$1"
  local pattern="^$site/enPanel\$" victim i back=""
  victim=$(pgrep -o -f "$pattern")
  local start
  start=$(date +%s%N)
  kill -KILL "$victim"
  for i in $(seq 100); do
    if [ "$(pgrep -c -f "$pattern")" = 2 ] && ! kill -0 "$victim" 2>/dev/null &&
       [ "$(curl -s -o /dev/null -m 2 -w '%{http_code}' "$url")" = 200 ]; then
      back=$((($(date +%s%N) - start) / 1000000))
      break
    fi
    sleep 0.02
  done
  check "$kind: a process killed is serving again within 2 s (${back:-not} ms)" \
    test -n "$back" -a "${back:-9999}" -lt 2000
  cp "$enpanel" "$dir/upgrade"
  printf '\0' >>"$dir/upgrade"  # another program, the same behaviour
  load_start "$url" "$dir"
  sleep 1
  install_site --site "$site" --program "$dir/upgrade" >"$dir/upgrade.log" 2>&1 || cat "$dir/upgrade.log"
  local line
  line=$(sed -n '/keep the old program until they are started again:$/{n;s/^  //p}' "$dir/upgrade.log")
  bash -c "$line" >"$dir/restart.log" 2>&1
  local upgraded=$?
  # The same line once more: a restart with nothing changed.
  bash -c "$line" >>"$dir/restart.log" 2>&1
  local restarted=$?
  sleep 1
  load_stop "$dir"
  check "$kind: the upgrade's line ($upgraded: $line) and a restart by it ($restarted) refused none of $load_answers requests ($load_refused)" \
    test "$restarted" = 0 -a "$upgraded" = 0 -a "$load_refused" = 0 -a "$load_answers" -gt 100 || cat "$dir/restart.log"
  local pid ran=1
  for pid in $(pgrep -f "$pattern"); do cmp -s "/proc/$pid/exe" "$dir/upgrade" || ran=0; done
  check "$kind: the processes run the upgraded program" test "$ran" = 1
}

# A site folder as it comes from the Windows server, taken as it is by the
# kit for nginx as a CGI program: the printed line serves it and the visit
# is counted; --remove takes its setup away and the server no longer serves
# it, the site's programs and data left.
adopted_site() {
  local dir="$work/adopted" site="$work/adopted/kutubix" web="$work/adopted/web" port line
  mkdir -p "$site/Statistics" "$site/arPanel"
  cp -R "$work/books/fulltxt" "$site/FullTXT"
  cp -R "$work/books/fullindexes" "$site/FullIndexes"
  printf '5\r\n' >"$site/Statistics/\$arPanel\$2025-03-01.ctr"
  printf 'MZ arPanel\n' >"$site/arPanel/arPanel.exe"
  chown -R nobody:www-data "$site"
  chmod -R u=rwX,g=rwX,o=rX "$site"
  port=$(free_port)
  local -a program=(--program "$enpanel")
  [ -z "$kit" ] || program=()
  install_site --site "$site" --server nginx --web "$web" --port "$port" --address 127.0.0.1 \
    "${program[@]}" >"$dir/install.log" 2>&1
  check "adopted: the kit takes a site from the Windows server ($?)" \
    grep -q "left as they are in $site: arPanel" "$dir/install.log"
  line=$(sed -n '/^\(Enable it with:\|systemd is not running here; enable and start it by hand with:\)$/{n;s/^  //p}' "$dir/install.log")
  links+=($(grep -o '/etc/[a-z0-9/._-]*enpanel-kutubix\.conf' <<<"$line"))
  local url="http://127.0.0.1:$port/cgi-bin/enPanel"
  bash -c "$line" >"$dir/enable.log" 2>&1 && wait_for_port "$port"
  curl -s -o "$dir/body" "$url"
  (cd "$site" && as_www env -i SERVER_PROTOCOL=HTTP/1.1 REQUEST_METHOD=GET HTTP_HOST="127.0.0.1:$port" \
    REMOTE_ADDR=127.0.0.1 ./enPanel) | cgi_body >"$dir/direct"
  check "adopted: the printed line serves the page, the program's own" \
    sh -c "[ -s '$dir/body' ] && cmp -s '$dir/body' '$dir/direct' && grep -q 'CURSOR: hand' '$dir/body'"
  # Its own counter: the siblings' are in Statistics/ too.
  local counted
  counted=$(tr -d '\r\n' <"$site/Statistics/\$enPanel\$$(date +%Y-%m-%d).ctr")
  check "adopted: and both visits are counted, the server's and the program's own ($counted)" test "$counted" = 2
  check "adopted: the sibling's files are as they were" \
    test "$(stat -c '%U %G %a' "$site/arPanel/arPanel.exe" "$site/Statistics/\$arPanel\$2025-03-01.ctr" | sort -u)" = "nobody www-data 664"
  install_site --site "$site" --remove >"$dir/remove.log" 2>&1
  check "adopted: --remove takes the site's setup away ($?)" \
    sh -c "[ ! -e /etc/nginx/sites-enabled/enpanel-kutubix.conf ] && ! curl -sf -o /dev/null '$url' &&
           [ -x '$site/enPanel' ] && [ -d '$site/FullTXT' ]" || cat "$dir/remove.log"
  undo
}

run_kind nginx nginx cgi
adopted_site
run_kind apache-event apache cgi
run_kind apache-prefork apache cgi
restore_mpm
run_kind lighttpd lighttpd cgi
run_kind nginx-fastcgi nginx fastcgi
run_kind apache-fastcgi apache fastcgi
run_kind lighttpd-fastcgi lighttpd fastcgi

checks_done
