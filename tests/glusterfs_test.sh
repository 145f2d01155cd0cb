#!/usr/bin/env bash
# Several web hosts sharing one site on GlusterFS, for real: a volume served
# by glusterd in a network namespace of the test's own (its brick on an
# address there: GlusterFS refuses loopback addresses for bricks), mounted
# twice through FUSE, each mount standing for one host with caches of its
# own. The program runs as www-data.
#   1. Statistics/ shared, each host its own site folder: four CGI loops,
#      two per mount; every visit counted once, every log line whole.
#   2. The whole site on the volume, both mounts serving at once while a
#      book is touched every 0.5 s: every answer the page, every visit
#      counted, no temporary file left.
#   3. A persistent process on each mount behind an nginx of its own (each
#      host its own network namespace): the bytes of a CGI run after each
#      change made through the other mount, and at least half the
#      requests/s of one on a local copy of the site whose Statistics/ is on
#      the volume (every visit's statistics cross the network either way:
#      what is measured is what keeping the page there costs). The rate of
#      a copy wholly local is printed beside it.
#   glusterfs_test.sh ENPANEL MAKE_SITE
# Needs root: glusterd, FUSE mounts and network namespaces.
set -uo pipefail
enpanel="$(realpath "$1")"
make_site="$(realpath "$2")"
here="$(cd "$(dirname "$0")/.." && pwd)"
source "$here/scripts/lib.sh"
export PATH="$PATH:/usr/sbin"

if [ "$(id -u)" -ne 0 ]; then
  echo "SKIPPED: needs root (glusterd, FUSE mounts, network namespaces)"
  exit 77
fi
if ! mountpoint -q /; then
  echo "SKIPPED: this system runs in a chroot (as ../shared/fresh-machine-ci runs it): the network" \
    "namespaces and FUSE mounts the test makes would be the host's; a machine of its own runs it"
  exit 77
fi
if [ ! -c /dev/fuse ] || ! grep -qw fuse /proc/filesystems; then
  echo "SKIPPED: no FUSE here (/dev/fuse), which GlusterFS's client mounts through"
  exit 77
fi
need glusterd glusterfs gluster nginx spawn-fcgi curl setpriv ip nsenter
server_ns="enpanel-gl-$$"
if ! ip netns add "$server_ns" 2>/dev/null; then
  echo "SKIPPED: no network namespaces to be made here (ip netns add failed)"
  exit 77
fi
host_ns=("enpanel-h1-$$" "enpanel-h2-$$")
address=10.251.7.1

work=$(mktemp -d /tmp/enpanel-glusterfs.XXXXXX)
chmod 755 "$work"
mkdir -p "$work"/{glusterd,run,log,brick,m1,m2,out}
chown www-data: "$work/out"  # the answers, written by the visits' loops
out="$work/out"
cleanup() {
  local pid
  for pid in $(cat "$work"/*.nginx.pid 2>/dev/null); do kill "$pid" 2>/dev/null; done
  pkill -f "$work/.*enPanel" 2>/dev/null
  umount -l "$work/m1" "$work/m2" 2>/dev/null
  # glusterd, the brick's process and the mounts' clients name the work folder.
  pkill -f -- "$work" 2>/dev/null
  sleep 0.5
  pkill -KILL -f -- "$work" 2>/dev/null
  for ns in "$server_ns" "${host_ns[@]}"; do ip netns del "$ns" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT

failures=0
check() {  # check WHAT COMMAND...: one line each, counted when it fails
  local what="$1"
  shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}

# The volume: one brick, GlusterFS's defaults.
ip -n "$server_ns" link set lo up
ip -n "$server_ns" link add v0 type veth peer name v1
ip -n "$server_ns" addr add "$address/24" dev v0
ip -n "$server_ns" link set v0 up
ip -n "$server_ns" link set v1 up
gl() { ip netns exec "$server_ns" gluster --mode=script --glusterd-sock="$work/run/glusterd.socket" "$@"; }
ip netns exec "$server_ns" glusterd --xlator-option "management.working-directory=$work/glusterd" \
  --xlator-option "management.glusterd-sockfile=$work/run/glusterd.socket" \
  -l "$work/log/glusterd.log" -p "$work/run/glusterd.pid" || { echo "glusterd did not start" >&2; exit 1; }
for _ in $(seq 50); do gl volume list >/dev/null 2>&1 && break; sleep 0.2; done
gl volume create books "$address:$work/brick/books" force >/dev/null &&
  gl volume start books >/dev/null || { echo "the volume was not made" >&2; exit 1; }
for m in 1 2; do
  nsenter --net="/run/netns/$server_ns" glusterfs --volfile-server="$address" --volfile-id=books \
    -l "$work/log/m$m.log" "$work/m$m" || { echo "mount $m failed" >&2; exit 1; }
done
for _ in $(seq 50); do [ "$(stat -f -c %T "$work/m2")" != "$(stat -f -c %T "$work")" ] && break; sleep 0.2; done
echo shared >"$work/m1/probe"
[ "$(cat "$work/m2/probe" 2>/dev/null)" = shared ] || { echo "the two mounts do not share" >&2; exit 1; }
rm -f "$work/m1/probe"
brick="$work/brick/books"  # read there, past every client's cache

as_www() { setpriv --reuid=www-data --regid=www-data --init-groups "$@"; }
# cgi_loop SITE N OUT: N visits as CGI requests, one after another, as
# www-data; each answer's body goes to OUT.N, standard error to OUT.err.
cgi_loop() {
  as_www bash -c '
    cd "$1" || exit 1
    for i in $(seq "$2"); do
      env -i SERVER_PROTOCOL=HTTP/1.1 REQUEST_METHOD=GET HTTP_HOST=localhost REMOTE_ADDR=10.0.0.$((i % 250)) \
        ./enPanel | tail -n +6 >"$3.$i"
    done' _ "$1" "$2" "$3" 2>>"$3.err"
}
# cgi_until SITE STOPFILE OUT: visits as above until STOPFILE exists.
cgi_until() {
  as_www bash -c '
    cd "$1" || exit 1
    i=0
    while [ ! -e "$2" ]; do
      i=$((i + 1))
      env -i SERVER_PROTOCOL=HTTP/1.1 REQUEST_METHOD=GET HTTP_HOST=localhost REMOTE_ADDR=127.0.0.1 \
        ./enPanel | tail -n +6 >"$3.$i"
    done' _ "$1" "$2" "$3" 2>>"$3.err"
}
counter_in() { cat "$1"/*.ctr 2>/dev/null | tr -d '\r\n'; }
# Every line of the day's log whole: the shape of a statistics line, CR LF.
whole_lines() {
  local log="$1" expected="$2" lines whole
  lines=$(cat "$log" | wc -l)
  whole=$(grep -caE $'^[0-9]{4}/[0-9]{2}/[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}; Dur=[0-9hm: .]+s; SimltSessn: aO=[0-9]+ eO=[0-9]+ Sr=[0-9]+ Ds=[0-9]+ TOT=[0-9]+ RemotAddr=\\[[0-9.]*\\] Host=\\[[^]]*\\]\r$' "$log")
  [ "$lines" -eq "$expected" ] && [ "$whole" -eq "$expected" ] ||
    { echo "  $log: $lines lines, $whole whole, $expected visits" >&2; return 1; }
}
# The answers OUT.* that are the page REF, and those that are not.
pages_like() {
  local ref="$1" out="$2" answer same=0 other=0
  for answer in "$out".[0-9]*; do
    if cmp -s "$ref" "$answer"; then same=$((same + 1)); else other=$((other + 1)); fi
  done
  echo "$same $other"
}

# 1. Statistics/ shared, each host its own site folder.
echo "== Statistics/ shared by two hosts, CGI"
mkdir -p "$work/m1/Statistics"
chown www-data: "$work/m1/Statistics"
for h in 1 2; do
  site="$work/host$h"
  mkdir -p "$site"
  "$make_site" "$site" --books 40 >/dev/null
  cp "$enpanel" "$site/enPanel"
  ln -s "$work/m$h/Statistics" "$site/Statistics"
  chown -R www-data: "$site"
done
visits=600
for h in 1 2; do
  for loop in a b; do cgi_loop "$work/host$h" "$visits" "$out/cgi-$h$loop" & done
done
wait
answered=$(grep -l '</HTML>' "$out"/cgi-[12][ab].[0-9]* | wc -l)
check "every visit answered with a page ($answered of $((4 * visits)))" [ "$answered" -eq $((4 * visits)) ]
check "the counter counts every visit once ($(counter_in "$brick/Statistics"))" \
  [ "$(counter_in "$brick/Statistics")" = "$answered" ]
check "every log line whole" whole_lines "$brick"/Statistics/*.log "$answered"
check "no session marker left" [ -z "$(ls "$brick/Statistics" | grep -F .Session)" ]
grep -h 'enPanel' "$out"/cgi-*.err | sort | uniq -c | sort -rn | head -8

# serve NAME SITE PORT NS: spawn-fcgi's two processes of SITE's program, and
# an nginx in the namespace NS passing 127.0.0.1:PORT to them.
serve() {
  local name="$1" site="$2" port="$3" ns="$4" dir="$work/$1"
  mkdir -p "$dir/tmp"
  chown www-data: "$dir"
  spawn-fcgi -s "$dir/socket" -M 0600 -U www-data -G www-data -u www-data -g www-data -F 2 \
    -- "$site/enPanel" >/dev/null || return 1
  cat >"$dir/nginx.conf" <<CONF
user www-data;
worker_processes 1;
pid $work/$name.nginx.pid;
error_log $dir/error.log warn;
events {}
http {
    access_log off;
    client_body_temp_path $dir/tmp;
    server {
        listen 127.0.0.1:$port;
        location = /cgi-bin/enPanel {
            include /etc/nginx/fastcgi_params;
            fastcgi_param SCRIPT_FILENAME "$site/enPanel";
            fastcgi_param PATH_INFO "";
            fastcgi_pass "unix:$dir/socket";
        }
    }
}
CONF
  ip netns exec "$ns" nginx -c "$dir/nginx.conf" || return 1
}
in_host() { local n="$1"; shift; ip netns exec "${host_ns[$((n - 1))]}" "$@"; }
fetch() { in_host "$1" curl -s --max-time 20 "http://127.0.0.1:$2/cgi-bin/enPanel"; }
# fetch_until HOST STOPFILE OUT: visits through HOST's nginx until STOPFILE exists.
fetch_until() {
  local i=0
  while [ ! -e "$2" ]; do
    i=$((i + 1))
    fetch "$1" 8081 >"$3.$i"
  done
}
for ns in "${host_ns[@]}"; do ip netns add "$ns" && ip -n "$ns" link set lo up; done

# 2. The whole site on the volume, both hosts serving while a book changes:
#    as CGI requests, and through each host's nginx and persistent processes.
echo "== the whole site on the volume, both hosts rebuilding"
site1="$work/m1/site" site2="$work/m2/site"
mkdir -p "$site1"
"$make_site" "$site1" --books 60 >/dev/null
cp "$enpanel" "$site1/enPanel"
chown -R www-data: "$site1"
cgi_loop "$site1" 1 "$out/ref" && mv "$out/ref.1" "$work/page"
rm -f "$site1"/Statistics/*
grep -q '</HTML>' "$work/page" || { echo "no page to compare with" >&2; exit 1; }
book=$(ls "$site1/fulltxt" | head -1)
stop="$work/stop"
serve h1 "$site1" 8081 "${host_ns[0]}" && serve h2 "$site2" 8081 "${host_ns[1]}" ||
  { echo "the servers did not start" >&2; exit 1; }
cgi_until "$site1" "$stop" "$out/both-1" &
cgi_until "$site2" "$stop" "$out/both-2" &
fetch_until 1 "$stop" "$out/fcgi-1" &
fetch_until 2 "$stop" "$out/fcgi-2" &
for _ in $(seq 80); do
  touch "$site2/fulltxt/$book"
  sleep 0.5
done
touch "$stop"
wait
answered=0
for answers in both-1 both-2 fcgi-1 fcgi-2; do
  read -r same other < <(pages_like "$work/page" "$out/$answers")
  answered=$((answered + same + other))
  check "every answer of $answers is the page ($same of $((same + other)))" [ "$other" -eq 0 ]
done
check "the counter counts every visit once ($(counter_in "$brick/site/Statistics") of $answered)" \
  [ "$(counter_in "$brick/site/Statistics")" = "$answered" ]
check "every log line whole" whole_lines "$brick"/site/Statistics/*.log "$answered"
check "no temporary file left ($(ls "$brick/site" | grep '^~enPanel' | tr '\n' ' '))" \
  [ -z "$(ls "$brick/site" | grep '^~enPanel')" ]
grep -h 'enPanel' "$out"/both-*.err | sort | uniq -c | sort -rn | head -8

# 3. A persistent process on each host behind its own nginx, and for the
#    measure two on local copies of the site: one whose Statistics/ is on
#    the volume, one wholly local.
echo "== persistent processes behind nginx on each host"
local_site="$work/local" own_site="$work/own"
cp -a "$site1" "$local_site"
rm -rf "$local_site/Statistics"
mkdir -p "$work/m1/local-statistics"
ln -s "$work/m1/local-statistics" "$local_site/Statistics"
cp -a "$site1" "$own_site"
rm -f "$own_site"/Statistics/*
chown -R www-data: "$local_site" "$own_site" "$work/m1/local-statistics"
serve local "$local_site" 8082 "${host_ns[0]}" && serve own "$own_site" 8083 "${host_ns[0]}" ||
  { echo "the servers did not start" >&2; exit 1; }
for _ in $(seq 50); do
  fetch 1 8081 >/dev/null && fetch 1 8082 >/dev/null && fetch 1 8083 >/dev/null && break
  sleep 0.2
done
# seconds PORT N: how long two clients at once take for N requests each,
# on one connection each.
seconds() {
  local port="$1" n="$2" start args=()
  for _ in $(seq "$n"); do args+=(-o /dev/null "http://127.0.0.1:$port/cgi-bin/enPanel"); done
  start=$(date +%s.%N)
  in_host 1 curl -s "${args[@]}" &
  in_host 1 curl -s "${args[@]}" &
  wait
  awk -v s="$start" -v e="$(date +%s.%N)" 'BEGIN { printf "%.4f", e - s }'
}
# The three sites take turns, ten rounds of 2 x 30 requests each (the
# volume's pace varies from one moment to the next), after a round that
# makes their kept pages; requests/s of each over all rounds.
for port in 8081 8082 8083; do seconds "$port" 30 >/dev/null; done
# What host 1's processes read meanwhile: a page built anew reads the
# headers file (printed, to tell a page kept from one built every time).
read_by() { cat /proc/$(pgrep -d ' /proc/' -f "$site1/enPanel")/io 2>/dev/null | awk '/^rchar/ { n += $2 } END { print n }'; }
read_before=$(read_by)
declare -A took=([8081]=0 [8082]=0 [8083]=0)
for _ in $(seq 10); do
  for port in 8081 8082 8083; do
    took[$port]=$(awk -v a="${took[$port]}" -v b="$(seconds "$port" 30)" 'BEGIN { print a + b }')
  done
done
echo "  host 1's processes read $(( $(read_by) - read_before )) bytes for 600 requests (the headers file: $(stat -c %s "$site1/Hdrs1020.TXT") bytes)"
per_second() { awk -v t="${took[$1]}" 'BEGIN { printf "%.0f", 600 / t }'; }
shared_rate=$(per_second 8081) local_rate=$(per_second 8082) own_rate=$(per_second 8083)
check "the site on the volume serves $shared_rate requests/s, at least half of a local copy's $local_rate (its Statistics/ on the volume; wholly local: $own_rate)" \
  awk -v a="$shared_rate" -v b="$local_rate" 'BEGIN { exit !(a >= b / 2) }'
grep -h 'enPanel' "$work/h1/error.log" | sed 's/.*enPanel: //' | sort | uniq -c | sort -rn | head -8

# Changes through the other mount; then host 1's persistent answer and a CGI
# run on host 1 give the same bytes. A change is seen once host 1's client
# looks the names up anew (GlusterFS keeps attributes 1 s).
second_book=$(ls "$site1/fulltxt" | sed -n 2p)
second_code=${second_book%.*}
changes=(
  "a book removed:mv $site2/fulltxt/$second_book $work/aside"
  "the book back:mv $work/aside $site2/fulltxt/$second_book"
  "a book touched:touch $site2/fulltxt/$book"
  "a book's name changed in place:sed '1s/\\r\$/x\\r/' $site2/fulltxt/$book >$work/edited && cat $work/edited >$site2/fulltxt/$book"
  "index files removed:mkdir -p $work/ix && mv $site2/fullindexes/$second_code.* $work/ix/"
  "the headers file removed:rm $site2/Hdrs1020.TXT"
)
for change in "${changes[@]}"; do
  what=${change%%:*}
  fetch 1 8081 >/dev/null
  bash -c "${change#*:}"
  sleep 1.5
  fetch 1 8081 >"$work/persistent"
  cgi_loop "$site1" 1 "$out/cgi"
  check "after $what, the persistent answer is the CGI run's ($(wc -c <"$work/persistent") bytes)" \
    cmp -s "$work/persistent" "$out/cgi.1"
  check "after $what, the answer is a page" grep -q '</HTML>' "$work/persistent"
done

# Yesterday's browse files, made through the other mount, are removed by a
# persistent process that looks at Zafkar/ only once it (or the site
# folder, while it is missing) has changed.
mkdir -p "$site2/Zafkar"
chown www-data: "$site2/Zafkar"
sleep 1.5
fetch 1 8081 >/dev/null
browse="$site2/Zafkar/BRWS$(date -d yesterday +%F)-1.htm"
as_www touch "$browse"
sleep 1.5
fetch 1 8081 >/dev/null
check "yesterday's browse file made through the other mount is removed by host 1's process" \
  [ ! -e "$browse" ]

# The site check, run as root, names the shared Statistics/ and tries its
# calls on a counter there: through a link the web account planted, it
# neither makes nor changes anything outside the site.
check_program="$(dirname "$enpanel")/enPanel-check"
echo secret >"$work/root-only"
chmod 600 "$work/root-only"
before=$(stat -c '%s %a %U %Y' "$work/root-only")
as_www ln -s "$work/root-only" "$site1/Statistics/\$enPanel\$2099-01-01.ctr"
as_www ln -s "$work/made-by-root" "$site1/Statistics/\$enPanel\$2099-01-02.ctr"
"$check_program" "$site1" >"$work/check" 2>&1
check "the site check names Statistics/ as shared" grep -q 'Statistics/ lies on a file system other hosts may share' "$work/check"
check "the site check changed nothing through the links planted in Statistics/" \
  [ "$(stat -c '%s %a %U %Y' "$work/root-only")" = "$before" ] && [ ! -e "$work/made-by-root" ] &&
  [ "$(cat "$work/root-only")" = secret ]

if [ "$failures" -ne 0 ]; then
  echo "$failures checks failed"
  exit 1
fi
echo "all checks passed"
