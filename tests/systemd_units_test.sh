#!/usr/bin/env bash
# Inside a booted Debian 12 with systemd as PID 1 (run there by
# systemd_container_test.sh): a site laid out by the kit for nginx in
# FastCGI mode, enabled by the line it prints, serves and counts through
# its units; systemd-analyze rates the service at most 2.0; its process has
# no new privileges and a system-call filter of its own beyond the unit's;
# only the web account may connect to the socket; browsers get the page in
# brotli through nginx.
#   tests/systemd_units_test.sh   (as root, from the checkout, with
#                                  build/release/{enPanel,enPanel-check,make_site})
set -uo pipefail
cd "$(dirname "$0")/.."
source scripts/test-checks.sh
work=$(mktemp -d)
site=/srv/kutubix
# Apache is there for a site switched to it below; until then it stays
# away from nginx's port 80 (each site brings its own Listen).
systemctl stop apache2
sed -i 's/^Listen 80$/# Listen 80 (the test)/' /etc/apache2/ports.conf
a2dissite -q 000-default
systemctl restart nginx
build/release/make_site "$work/books" >/dev/null
scripts/install-site --site "$site" --server nginx --mode fastcgi --books "$work/books" \
  --port 8080 --address 127.0.0.1 >"$work/install.log" 2>&1 || { cat "$work/install.log"; exit 1; }
line=$(sed -n '/^Enable it with:$/{n;s/^  //p}' "$work/install.log")
# The system reaches no package registry: nginx is there already.
line=${line#apt-get install -y nginx && }
echo "enable: $line"
check "the printed line enables the site" bash -c "$line"
for i in $(seq 50); do curl -s -o /dev/null http://127.0.0.1:8080/ && break; sleep 0.2; done
url=http://127.0.0.1:8080/cgi-bin/enPanel
(cd "$site" && setpriv --reuid=www-data --regid=www-data --init-groups env -i \
  SERVER_PROTOCOL=HTTP/1.1 REQUEST_METHOD=GET HTTP_HOST=127.0.0.1:8080 REMOTE_ADDR=127.0.0.1 \
  ./enPanel) | tail -n +6 >"$work/direct"
before=$(cat "$site"/Statistics/*.ctr 2>/dev/null | tr -d '\r\n' || echo 0)
check "the page through nginx and the units" sh -c "curl -sf '$url' | cmp -s - '$work/direct'"
ok=$(seq 50 | xargs -P 8 -I{} curl -s -o /dev/null -w '%{http_code}\n' "$url" | grep -c '^200$')
check "50 requests 8 at a time answered ($ok)" test "$ok" = 50
after=$(cat "$site"/Statistics/*.ctr | tr -d '\r\n')
check "every visit counted ($before -> $after)" test "$after" = $((before + 51))
score=$(systemd-analyze security enpanel-kutubix@1.service 2>/dev/null |
  sed -n 's/.*Overall exposure level for .*: \([0-9.]*\) .*/\1/p')
check "systemd-analyze security rates the service $score (at most 2.0)" \
  awk -v s="$score" 'BEGIN { exit !(s != "" && s <= 2.0) }'
pid=$(systemctl show -p MainPID --value enpanel-kutubix@1.service)
status=$(cat "/proc/$pid/status")
check "the process has no new privileges" grep -q '^NoNewPrivs:[[:space:]]*1$' <<<"$status"
filters=$(sed -n 's/^Seccomp_filters:[[:space:]]*//p' <<<"$status")
# The unit's own filters, counted in a process it starts that filters
# nothing itself.
sed -e '/^ExecStart=/c ExecStart=/bin/grep Seccomp_filters /proc/self/status' \
  -e '/^\(Sockets\|StandardInput\|Requires\|After\|NoExecPaths\|ExecPaths\|Restart\)=/d' \
  -e 's/^\[Service\]$/[Service]\nType=oneshot/' \
  /etc/systemd/system/enpanel-kutubix@.service >/etc/systemd/system/enpanel-probe.service
systemctl daemon-reload
systemctl start enpanel-probe.service
unit_filters=$(journalctl -u enpanel-probe.service -o cat --no-pager |
  sed -n 's/^Seccomp_filters:[[:space:]]*//p' | tail -n 1)
check "the process has a filter of its own beyond the unit's ($filters against $unit_filters)" \
  test -n "$unit_filters" -a "${filters:-0}" = $((unit_filters + 1))
check "it runs as the web account" test "$(stat -c %U "/proc/$pid")" = www-data
# In the process's view, what it does not write is a read-only mount point
# (which cannot be written, renamed, replaced or removed there); the site
# folder itself, where the headers file is rebuilt, is written.
mount_options() { awk -v p="$2" '$5 == p { print $6 }' "/proc/$1/mountinfo" | tail -n 1; }
check "in its view the site check, the program and the books are read-only mounts, the site folder is not" \
  sh -c "$(declare -f mount_options)
         for p in $site/enPanel-check $site/enPanel $site/fulltxt $site/fullindexes $site/.install-site; do
           mount_options $pid \$p | grep -q '^ro' || exit 1; done
         mount_options $pid $site | grep -q '^rw'"
socket=$(sed -n 's/^ListenStream=//p' /etc/systemd/system/enpanel-kutubix.socket)
check "only the web account may connect to $socket ($(stat -c '%U %a' "$socket"))" \
  test "$(stat -c '%U %a' "$socket")" = "www-data 600"
fetch_as_browser "$url" "$work/h" "$work/body.br"
check "a browser gets the page in brotli ($(wc -c <"$work/body.br") bytes)" \
  sh -c "grep -qi '^Content-Encoding: *br' '$work/h' && brotli -dc '$work/body.br' | cmp -s - '$work/direct'"
check "nothing refused was told in the journal" \
  sh -c "! journalctl -u 'enpanel-kutubix@*' --no-pager | grep -q 'refused\|unconfined'"
journalctl -u 'enpanel-kutubix@*' --no-pager | tail -5

# An upgrade as the package makes one: the site's units are started again
# through deb-systemd-invoke, so a policy-rc.d that forbids it is obeyed
# (and the operator gets the line); allowed, they run the new program.
runs_new() {
  local unit pid
  for unit in enpanel-kutubix@1.service enpanel-kutubix@2.service; do
    pid=$(systemctl show -p MainPID --value "$unit")
    [ "$pid" != 0 ] && cmp -s "/proc/$pid/exe" "$site/enPanel" || return 1
  done
}
cp build/release/enPanel "$work/newer"
printf '\0' >>"$work/newer"  # another program, the same behaviour
printf '#!/bin/sh\nexit 101\n' >/usr/sbin/policy-rc.d
chmod +x /usr/sbin/policy-rc.d
ENPANEL_KIT_RESTART=1 scripts/install-site --site "$site" --program "$work/newer" >"$work/upgrade.log" 2>&1
rm -f /usr/sbin/policy-rc.d
cat "$work/upgrade.log"
cp "$work/upgrade.log" "$work/upgrade-forbidden.log"
check "policy-rc.d forbidding it, the units keep the old program and the line is printed" \
  sh -c "! { $(declare -f runs_new); site='$site'; runs_new; } &&
         grep -q 'not every process runs the new program' '$work/upgrade.log' &&
         grep -q '^  systemctl start enpanel-kutubix.socket && systemctl restart' '$work/upgrade.log'"
ENPANEL_KIT_RESTART=1 scripts/install-site --site "$site" >"$work/upgrade.log" 2>&1
cat "$work/upgrade.log"
check "allowed, the units run the new program, kept from the last run" runs_new
check "which answers" sh -c "curl -sf '$url' | cmp -s - '$work/direct'"

# The printed restart line, and systemd's own restart of the service, under
# the load of 8 clients: the socket unit holds the socket, the units are
# replaced one at a time, and no request is refused.
restart=$(sed -n 's/^  \(systemctl start enpanel-kutubix.socket && .*\)$/\1/p' "$work/upgrade-forbidden.log")
load_start "$url" "$work"
sleep 1
bash -c "$restart"
restarted=$?
sleep 0.5
systemctl restart enpanel-kutubix@1.service
sleep 0.5
load_stop "$work"
check "the restart line ($restarted: $restart) and a unit's restart refused none of $load_answers requests ($load_refused)" \
  test "$restarted" = 0 -a "$load_refused" = 0 -a "$load_answers" -gt 50
# Two sites of one folder name, each enabled by its printed line: both
# serve, each from units of its own; removing one leaves the other serving.
# Then the one left is switched to Apache: the printed line takes nginx's
# configuration and its link away, both servers' configuration tests pass,
# and Apache serves the site where nginx served it.
for ab in a b; do
  port=$((8080 + $(printf '%d' "'$ab") - 96))
  scripts/install-site --site "/srv/$ab/kutub" --server nginx --mode fastcgi --books "$work/books" \
    --web "/var/www/kutub-$ab" --port "$port" --address 127.0.0.1 >"$work/$ab.log" 2>&1
  line=$(sed -n '/^Enable it with:$/{n;s/^  //p}' "$work/$ab.log")
  check "the printed line enables /srv/$ab/kutub" bash -c "${line#apt-get install -y nginx && }"
done
for i in $(seq 50); do curl -s -o /dev/null http://127.0.0.1:8082/ && break; sleep 0.2; done
served() { curl -sf "http://127.0.0.1:$1/cgi-bin/enPanel" | grep -q 'CURSOR: hand'; }
check "both serve, each from its own units" \
  sh -c "$(declare -f served); served 8081 && served 8082 && systemctl is-active -q enpanel-kutub@1.service enpanel-kutub-2@1.service &&
         grep -q '^ExecStart=\"/srv/a/kutub/enPanel\"' /etc/systemd/system/enpanel-kutub@.service"
scripts/install-site --remove --site /srv/b/kutub >"$work/remove.log" 2>&1
check "removing the second leaves the first serving" \
  sh -c "$(declare -f served); served 8081 && ! served 8082 && systemctl is-active -q enpanel-kutub@1.service"
scripts/install-site --site /srv/a/kutub --server apache --mode cgi >"$work/switch.log" 2>&1
cat "$work/switch.log"
away=$(sed -n 's/^install-site: no longer used, to remove: .*, and the link to it that enables it (\(.*\))$/\1/p' "$work/switch.log")
units=$(sed -n 's/^install-site: no longer used, to remove: the units .* (disable them: \(.*\))$/\1/p' "$work/switch.log")
line=$(sed -n '/^Enable it with:$/{n;s/^  //p}' "$work/switch.log")
check "switched to Apache, the lines printed take nginx's part away and enable Apache" \
  bash -c "$away && $units && ${line#apt-get install -y apache2 && }"
for i in $(seq 50); do served 8081 && break; sleep 0.2; done
check "nginx's and Apache's configuration tests pass, and Apache serves the site, its old units gone" \
  sh -c "$(declare -f served); nginx -t 2>/dev/null && apache2ctl configtest 2>/dev/null && served 8081 &&
         ss -ltnpH '( sport = :8081 )' | grep -q apache2 && ! systemctl is-enabled -q enpanel-kutub@1.service &&
         ! systemctl is-active -q enpanel-kutub@1.service"
checks_done
