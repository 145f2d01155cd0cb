#!/usr/bin/env bash
# scripts/install-site as an operator meets it: the layout and its rights,
# options checked before anything changes, paths with spaces, "|" and "&",
# re-runs that apply what they are told (or refuse it), interrupted installs
# completed; the systemd units it writes; and the site check, whose lines
# say what a fault does and whose mends (by hand or with --fix) mend it.
#   install_site_test.sh ENPANEL MAKE_SITE
# Needs root: install-site gives the program and the folders their owners,
# and the faults are made and mended as other accounts' files.
set -uo pipefail
enpanel="$(realpath "$1")"
make_site="$(realpath "$2")"
here="$(cd "$(dirname "$0")/.." && pwd)"
source "$here/scripts/lib.sh"
if [ "$(id -u)" -ne 0 ]; then
  echo "SKIPPED: needs root (install-site gives the program and the folders their owners)"
  exit 77
fi
need systemd-analyze setpriv setfacl getfacl
work=$(mktemp -d)
chmod 755 "$work"
strays=/var/backups/enpanel-strays
strays_before=$(ls -A "$strays" 2>/dev/null)
# The account a site from a Windows server belongs to: made for the test
# when the system has none.
made_kutub=0
if ! getent passwd kutub >/dev/null; then
  useradd --system --no-create-home --shell /usr/sbin/nologin kutub && made_kutub=1
fi
trap 'rm -rf "$work"; [ -n "$strays_before" ] || rm -rf "$strays"; [ "$made_kutub" = 0 ] || userdel kutub' EXIT
install() { bash "$here/scripts/install-site" --program "$enpanel" --web "$work/web" --port 8099 "$@"; }
# Every entry's name, owner, group, rights and size (and times, when asked),
# with the folder's own path written as SITE.
snapshot() {  # FOLDER [times]
  local format='%p %u %g %m %s'
  [ "${2:-}" = times ] && format="$format %T@"
  (cd "$1" && find . -printf "$format\n" | sort)
}
as_www() { setpriv --reuid=www-data --regid=www-data --init-groups "$@"; }
request() {  # SITE: one request as the web account; the page on standard output
  (cd "$1" && as_www env -i SERVER_PROTOCOL=HTTP/1.1 REQUEST_METHOD=GET HTTP_HOST=localhost \
    REMOTE_ADDR=127.0.0.1 ./enPanel)
}

"$make_site" "$work/books" --books 12 >/dev/null

# --- The layout -------------------------------------------------------------
install --site "$work/site" --server apache --books "$work/books" >"$work/out" 2>&1
check "a first install succeeds" test $? = 0
check "it prints the line that enables Apache, restarting it after a2enmod" \
  grep -Eq 'a2enmod cgid deflate && ln -sf .* && (systemctl|service apache2) restart' "$work/out"
check "the program is root's and only root writes it" test "$(stat -c '%U %a' "$work/site/enPanel")" = "root 755"
check "the site folder: root's, group www-data with write, sticky" test "$(stat -c '%U %G %a' "$work/site")" = "root www-data 1775"
check "Statistics/ is the account's" test "$(stat -c %U "$work/site/Statistics")" = www-data
check "the CGI folder holds a link to the program" test "$(readlink "$work/web/cgi-bin/enPanel")" = "$work/site/enPanel"
check "the books were copied" test -f "$work/site/fulltxt/ARQUR.TXT"
check "the configuration names the site's folders" grep -q "ScriptAliasMatch \"^/cgi-bin/enPanel(.*)\$\" \"$work/web/cgi-bin/enPanel\$1\"" "$work/web/enpanel-apache.conf"

# What requests make, then an upgrade: only the program changes.
request "$work/site" >/dev/null
check "the account can keep the headers file" test -f "$work/site/Hdrs1020.TXT"
echo "operator's note" >"$work/books/fulltxt/NOTE.TXT"
before=$(snapshot "$work/site" times | grep -Ev '^(\.|\./enPanel|\./enPanel-check) ')
install --site "$work/site" >"$work/out" 2>&1
check "a second run upgrades the program" grep -q 'program upgraded' "$work/out"
check "and changes nothing else" test "$(snapshot "$work/site" times | grep -Ev '^(\.|\./enPanel|\./enPanel-check) ')" = "$before"

# --- Options, each checked before anything changes ---------------------------
refused() {  # NAME MESSAGE ARGS...: exit 2, one line naming the option, nothing made
  local name="$1" message="$2"
  shift 2
  rm -rf "$work/new"
  bash "$here/scripts/install-site" --program "$enpanel" "$@" >"$work/out" 2>&1
  local status=$?
  check "refused, exit 2, one line: $name ($(head -c 120 "$work/out"))" \
    sh -c "[ $status = 2 ] && [ \$(wc -l <'$work/out') = 1 ] && grep -q -- '$message' '$work/out' && [ ! -e '$work/new' ]"
}
refused "a value missing at the end" "--port needs a value" --site "$work/new" --server nginx --port
refused "--server at the end" "--server needs a value" --site "$work/new" --server
refused "--books at the end" "--books needs a value" --site "$work/new" --server nginx --books
refused "--address at the end" "--address needs a value" --site "$work/new" --server nginx --address
refused "an option as a value" "--site needs a value, not the option --server" --site --server nginx
refused "an empty value" "--web needs a value, not an empty one" --site "$work/new" --server nginx --web ""
refused "an address that is none" "--address 300.1.1.1: neither" --site "$work/new" --server nginx --address 300.1.1.1
refused "a port out of range" "--port 70000" --site "$work/new" --server nginx --port 70000
refused "port 0" "--port 0" --site "$work/new" --server nginx --port 0
refused "a path the configuration cannot hold" "--web $work/we\"b: a path" --site "$work/new" --server nginx --web "$work/we\"b"
refused "an unknown server" 'unknown server "iis"' --site "$work/new" --server iis
refused "an unknown mode" '--mode: "fast"' --site "$work/new" --server nginx --mode fast
refused "an unknown account" "no such account: nosuchaccount" --site "$work/new" --server nginx --user nosuchaccount
refused "an unknown page" '--page: "new" is neither legacy' --site "$work/new" --server nginx --page new
refused "a page with a program given" "--page and --program" --site "$work/new" --server nginx --page todays
refused "the checkout's kit asked for the recorded sites" "kit records the sites it lays out" --upgrade-recorded
refused "spaces mod_fcgid cannot run" "mod_fcgid starts the program" --site "$work/new" --server apache --mode fastcgi --web "$work/w b"
for system in / /srv /etc; do
  refused "the system's folder $system" "directly in it" --site "$system" --server nginx --web "$work/new"
done
refused "books that are no folder" "--books $work/nonexistent: no such folder" --site "$work/new" --server nginx --web "$work/new-web" --books "$work/nonexistent"
mkdir -p "$work/notasite/docs"
refused "a folder that holds no site" "holds no site" --site "$work/notasite" --server nginx --web "$work/new"
mkdir "$work/www-writable" && chown www-data "$work/www-writable"
refused "a web folder the account may write" "the account www-data may write it" --site "$work/new" --server nginx --web "$work/www-writable"
help_tail=$(bash "$here/scripts/install-site" --help | tail -n 1)
check "--help ends with its own text ($help_tail)" sh -c "! echo '$help_tail' | grep -q 'set -euo'"

# --- A site as it comes from a Windows server --------------------------------
# Book folders in Windows letter case, a stale headers file, two years of
# the four programs' statistics, the sibling programs and an old program
# beside them, all the site account's; the web account may write the site
# folder and Statistics/ through their group.
windows_site() {  # FOLDER STATISTICS_GROUP STATISTICS_MODE
  local old="$1" program day
  mkdir -p "$old/Statistics" "$old/arPanel" "$old/qryGate" "$old/txtView/help"
  cp -R "$work/books/fulltxt" "$old/FullTXT"
  cp -R "$work/books/fullindexes" "$old/FullIndexes"
  printf 'stale\r\n' >"$old/Hdrs1020.TXT"
  touch -d 2001-01-01 "$old/Hdrs1020.TXT"
  for program in arPanel enPanel qryGate txtView; do
    for day in 2024-03-01 2024-03-02 2025-03-01 2025-03-02; do
      printf '7\r\n' >"$old/Statistics/\$$program\$$day.ctr"
      printf '%s 09:00:00; Dur=00m:00.100s\r\n' "$day" >"$old/Statistics/\$$program\$$day.log"
    done
    [ "$program" = enPanel ] || printf 'MZ %s\n' "$program" >"$old/$program/$program.exe"
  done
  printf 'help\n' >"$old/txtView/help/index.html"
  printf 'MZ enPanel\n' >"$old/enPanel.exe"
  chown -R kutub:kutub "$old"
  chmod -R u=rwX,go=rX "$old"
  chown kutub:www-data "$old"
  chmod 2775 "$old"
  chown "kutub:$2" "$old/Statistics"
  chmod "$3" "$old/Statistics"
}
# Every entry with its owner, group, mode, size, time, access-control list
# and bytes: what "changed nothing" is measured by.
whole_snapshot() {  # FOLDER
  local kits='-path ./enPanel -o -path ./enPanel-check -o -path ./.install-site'
  (cd "$1" && stat -c '. %u %g %a' . && getfacl -p . &&
    find . -mindepth 1 \( $kits \) -prune -o -printf '%p %u %g %m %s %T@\n' | sort &&
    find . -mindepth 1 \( $kits \) -prune -o -print0 | sort -z | xargs -0 getfacl -p &&
    find . -mindepth 1 \( $kits \) -prune -o -type f -print0 | sort -z | xargs -0 sha256sum)
}
old="$work/kutubix"
windows_site "$old" www-data 2775
before=$(whole_snapshot "$old")
install --site "$old" --server nginx --web "$work/web-old" >"$work/out" 2>&1
check "a site from a Windows server takes the program (exit $?)" grep -q "$old laid out for www-data" "$work/out"
check "the report names what it left" \
  grep -qF "left as they are in $old: arPanel, enPanel.exe, qryGate, txtView" "$work/out"
check "nothing that was there changed: owner, group, mode, time, list or byte" \
  test "$(whole_snapshot "$old")" = "$before"
check "the kit added its program, the site check and its state file only" \
  test "$(cd "$old" && ls -A | grep -Ec '^(enPanel|enPanel-check|\.install-site)$')" = 3
check "the book folders in Windows letter case were kept, no copy made" \
  sh -c "[ ! -e '$old/fulltxt' ] && [ ! -e '$old/fullindexes' ]"
counted_before=$(ls "$old"/Statistics/ | wc -l)
request "$old" >"$work/page"
check "the page names the books from FullTXT" grep -q 'CURSOR: hand' "$work/page"
check "and the visit is counted" test "$(tr -d '\r\n' <"$old/Statistics/\$enPanel\$$(date +%Y-%m-%d).ctr")" = 1
"$old/enPanel-check" "$old" --user www-data >"$work/report"
check "the site check finds the site sound (exit $?)" grep -qx 'The site is sound.' "$work/report"
check "and names none of the siblings' files" \
  sh -c "! grep -E 'arPanel|qryGate|txtView' '$work/report' | grep -qv \"their programs' own\""
siblings() { (cd "$old" && find . -path './enPanel*' -prune -o \( -name '*arPanel*' -o -name '*qryGate*' -o -name '*txtView*' \) -printf '%p %u %g %m %s %T@\n' | sort); }
siblings_before=$(siblings)
"$old/enPanel-check" "$old" --user www-data --fix >/dev/null 2>&1
check "--fix changes none of the siblings' files" test "$(siblings)" = "$siblings_before"
echo "# the operator's own line" >>"$work/web-old/enpanel-nginx.conf"
bash "$here/scripts/install-site" --site "$old" --port 8098 >"$work/out" 2>&1
check "a re-run keeps the operator's edit to the configuration" \
  sh -c "tail -n 1 '$work/web-old/enpanel-nginx.conf' | grep -q \"operator's own line\" &&
         grep -q 'listen 8098;' '$work/web-old/enpanel-nginx.conf.enpanel-new'"
check "and says where the new version is" \
  grep -q "enpanel-nginx.conf was changed since the kit wrote it: kept as it is; this version is in $work/web-old/enpanel-nginx.conf.enpanel-new" "$work/out"

# Statistics/ the web account cannot write: nothing changes without --grant.
old="$work/kutubix2"
windows_site "$old" kutub 0755
before=$(whole_snapshot "$old")
install --site "$old" --server nginx --web "$work/web-old2" >"$work/out" 2>&1
check "where the account cannot write Statistics/, exit 2 ($?)" \
  sh -c "grep -q 'the account www-data cannot do what the program needs in $old:' '$work/out' &&
         grep -q '^  write Statistics/ .*kutub:kutub drwxr-xr-x' '$work/out' && grep -q 'nothing changed' '$work/out'"
check "with the line that grants it" grep -qx "  setfacl -m u:www-data:rwx $old/Statistics" "$work/out"
check "and nothing changed" test "$(whole_snapshot "$old")" = "$before"
"$(dirname "$enpanel")/enPanel-check" "$old" --user www-data >"$work/report"
check "the site check says the same, its mend the same entry, not a chown" \
  grep -qx "  mend: setfacl -m u:www-data:rwx $old/Statistics && chmod +t $old/Statistics" "$work/report"
entries() { getfacl -cp "$1" | grep -E '^(user|group|other)::'; }
entries_before=$(entries "$old/Statistics")
install --site "$old" --server nginx --web "$work/web-old2" --grant >"$work/out" 2>&1
check "--grant grants it as an entry for the account (exit $?)" \
  sh -c "grep -q 'granting: setfacl -m u:www-data:rwx $old/Statistics' '$work/out' &&
         getfacl -cp '$old/Statistics' | grep -qx 'user:www-data:rwx'"
check "no owner or group changed, nor the rights of owner, group and others" \
  sh -c "[ \"\$(stat -c '%U %G' '$old' '$old/Statistics')\" = \"\$(printf 'kutub www-data\nkutub kutub')\" ] &&
         [ \"\$(getfacl -cp '$old/Statistics' | grep -E '^(user|group|other)::')\" = '$entries_before' ]"
request "$old" >/dev/null
check "the site serves and counts" test "$(tr -d '\r\n' <"$old/Statistics/\$enPanel\$$(date +%Y-%m-%d).ctr")" = 1
"$old/enPanel-check" "$old" --user www-data >"$work/report"
check "and checks as sound: the check reads the entry as the kernel does (exit $?)" \
  sh -c "grep -q 'Account www-data can write Statistics/' '$work/report' && ! grep -q PROBLEM '$work/report'"

# A site folder only its owner writes: --grant gives the account an entry
# and the sticky bit, so that it cannot rename or replace the siblings or
# the site check; the headers file must then be the account's, which the
# kit names and never does. A --grant stopped after its first entry, and a
# finished one, are both taken back by --remove.
own="$work/kutubix3"
windows_site "$own" kutub 0755
chown kutub:kutub "$own"
chmod 0755 "$own"
site_mode_before=$(stat -c %a "$own")
install --site "$own" --server nginx --web "$work/web-old3" --grant >"$work/out" 2>&1
check "--grant names the headers file it cannot let the account replace (exit $?)" \
  sh -c "grep -q 'only the file.s owner may; .*chown www-data $own/Hdrs1020.TXT' '$work/out' && grep -q 'nothing changed' '$work/out'"
chown www-data "$own/Hdrs1020.TXT"
INSTALL_SITE_STOP_AFTER=grant install --site "$own" --server nginx --web "$work/web-old3" --grant >/dev/null 2>&1
bash "$here/scripts/install-site" --site "$own" --remove >"$work/out" 2>&1
check "--remove takes back a --grant stopped midway (exit $?)" \
  sh -c "! getfacl -Rp '$own' 2>/dev/null | grep -q '^user:www-data:' && [ \"\$(stat -c %a '$own')\" = '$site_mode_before' ] && [ ! -e '$own/.install-site' ]"
install --site "$own" --server nginx --web "$work/web-old3" --grant >"$work/out" 2>&1
check "then --grant lays the site out (exit $?)" grep -q "$own laid out for www-data" "$work/out"
held=0
for name in qryGate arPanel txtView enPanel-check enPanel; do
  as_www mv "$own/$name" "$own/$name.moved" 2>/dev/null && held=1
  as_www ln -sfn /tmp "$own/$name" 2>/dev/null && held=1
done
check "the account can rename or replace none of the siblings, the program or the site check" test "$held" = 0
request "$own" >/dev/null
check "and the site serves and counts" test "$(tr -d '\r\n' <"$own/Statistics/\$enPanel\$$(date +%Y-%m-%d).ctr")" = 1
bash "$here/scripts/install-site" --site "$own" --remove >"$work/out" 2>&1
check "--remove leaves no entry of the account in the site, and the site folder's mode as it was (exit $?)" \
  sh -c "! getfacl -Rp '$own' 2>/dev/null | grep -q '^user:www-data:' && [ \"\$(stat -c %a '$own')\" = '$site_mode_before' ]"

# A program given is kept on re-runs and upgrades, until a page is given.
cp "$enpanel" "$work/custom"
printf '\0' >>"$work/custom"
bash "$here/scripts/install-site" --site "$old" --program "$work/custom" >/dev/null 2>&1
bash "$here/scripts/install-site" --site "$old" >"$work/out" 2>&1
check "a re-run keeps the program it was given" cmp -s "$old/enPanel" "$work/custom"
bash "$here/scripts/install-site" --site "$old" --page todays >"$work/out" 2>&1
check "a page given takes the page's own program" cmp -s "$old/enPanel" "$here/build/release/enPanel-todays"

# Taking the site's setup away.
ln -sf "$work/web-old2/enpanel-nginx.conf" "$work/enabled-link"
bash "$here/scripts/install-site" --site "$old" --remove >"$work/out" 2>&1
check "--remove takes away the configuration, the CGI link and the state (exit $?)" \
  sh -c "[ ! -e '$work/web-old2/enpanel-nginx.conf' ] && [ ! -L '$work/web-old2/cgi-bin/enPanel' ] && [ ! -e '$old/.install-site' ]"
check "and says what it left: the program and the data" \
  sh -c "grep -q 'left in $old: the program' '$work/out' && [ -x '$old/enPanel' ] && [ -d '$old/FullTXT' ] && [ -s '$old/Statistics/\$enPanel\$$(date +%Y-%m-%d).ctr' ]"
refused "--remove with other options" "--remove takes --site alone" --site "$work/site" --remove --port 1
refused "--remove where no site is" "--remove: $work/nowhere holds no site" --site "$work/nowhere" --remove

# --- The page for today's browsers, kept on upgrades ------------------------
bash "$here/scripts/install-site" --site "$work/todays" --server nginx --page todays --web "$work/web-todays" \
  --port 8099 --books "$work/books" >"$work/out" 2>&1
# A checkout's kit takes the page's program from build/release.
check "--page todays installs the program built for today's browsers" \
  cmp -s "$work/todays/enPanel" "$here/build/release/enPanel-todays"
check "whose page is today's" sh -c "$(declare -f request as_www); request '$work/todays' | grep -q 'CURSOR:pointer'"
bash "$here/scripts/install-site" --site "$work/todays" >"$work/out" 2>&1
check "an upgrade keeps it" sh -c "grep -q 'program upgraded' '$work/out' &&
  cmp -s '$work/todays/enPanel' '$here/build/release/enPanel-todays'"
bash "$here/scripts/install-site" --site "$work/todays" --page legacy >"$work/out" 2>&1
check "--page legacy goes back to the page as it always was" \
  sh -c "grep -q 'applied: --page' '$work/out' && cmp -s '$work/todays/enPanel' '$here/build/release/enPanel'"

# --- Paths with spaces, "|" and "&" -----------------------------------------
odd="$work/odd | site & more"
install --site "$work/oddsite" --server nginx --web "$odd" --books "$work/books" >"$work/out" 2>&1
check "a web folder with spaces, | and & is taken" test $? = 0
check "and the configuration holds it as it is" \
  grep -qF "root \"$odd/htdocs\";" "$odd/enpanel-nginx.conf"
line=$(sed -n '/^\(Enable it with:\|systemd is not running here; enable and start it by hand with:\)$/{n;s/^  //p}' "$work/out")
check "the printed line quotes it for the shell" grep -qF 'odd\ \|\ site\ \&\ more/enpanel-nginx.conf' <<<"$line"

# --- Re-runs that are told something new ------------------------------------
install --site "$work/site" --server nginx >"$work/out" 2>&1
check "another server is applied" grep -q 'applied: --server' "$work/out"
check "its configuration written" test -f "$work/web/enpanel-nginx.conf"
check "and the old one named for removal" grep -q "no longer used, to remove: $work/web/enpanel-apache.conf" "$work/out"
install --site "$work/site" --port 8100 --address 127.0.0.1 >"$work/out" 2>&1
check "a new port and address are applied" grep -q 'applied: --port --address' "$work/out"
check "and written into the configuration" grep -q 'listen 127.0.0.1:8100;' "$work/web/enpanel-nginx.conf"
install --site "$work/site" --fcgiwrap-socket "$work/fcgiwrap.sock" >"$work/out" 2>&1
check "a new socket is applied" grep -q "fastcgi_pass \"unix:$work/fcgiwrap.sock\";" "$work/web/enpanel-nginx.conf"
install --site "$work/site" --web "$work/web2" >"$work/out" 2>&1
check "a new web folder is laid out" test "$(readlink "$work/web2/cgi-bin/enPanel")" = "$work/site/enPanel"
check "and the old one named for removal" grep -q "no longer used, to remove: the web folder $work/web" "$work/out"
install --site "$work/site" --mode fastcgi --web "$work/web2" --processes 3 >"$work/out" 2>&1
check "the persistent mode is applied" grep -q "server \"unix:/run/enpanel-site.socket\";" "$work/web2/enpanel-nginx-fastcgi.conf"
check "three processes (units, or supervisord's section)" sh -c "grep -q 'enpanel-site@3.service' '$work/out' || grep -qx 'numprocs=3' '$work/web2/supervisor/enpanel-site.conf'"
refused "a web folder that serves another site" "--web $work/web2 serves the site $work/site already" \
  --site "$work/new" --server nginx --web "$work/web2"
install --site "$work/site" --user nobody >"$work/out" 2>&1
check "another account is refused (exit $?)" grep -q -- '--user: the site is laid out for www-data' "$work/out"
check "and the state kept" grep -qx 'user=www-data' "$work/site/.install-site"

# --- The units systemd would run --------------------------------------------
units="$work/units"
mkdir -p "$units"
cp "$work/web2/systemd/"* "$units/"
ln -s "enpanel-site@.service" "$units/enpanel-site@1.service"
verify=$(cd "$units" && systemd-analyze verify --man=no ./enpanel-site.socket ./enpanel-site@1.service 2>&1)
check "systemd-analyze verify finds nothing to say of the units ($verify)" test -z "$verify"

# --- Unit copies in systemd's folder follow the kit's, unless edited --------
export KIT_SYSTEMD_UNITS="$work/etc-units"
mkdir -p "$KIT_SYSTEMD_UNITS"
cp "$work/web2/systemd/"* "$KIT_SYSTEMD_UNITS/"
bash "$here/scripts/install-site" --site "$work/site" --socket /run/enpanel-site2.socket >"$work/out" 2>&1
check "an installed unit the operator left alone is updated" \
  sh -c "grep -qx 'ListenStream=/run/enpanel-site2.socket' '$KIT_SYSTEMD_UNITS/enpanel-site.socket' &&
         grep -q 'updated $KIT_SYSTEMD_UNITS/enpanel-site.socket' '$work/out'"
echo "# the operator's" >>"$KIT_SYSTEMD_UNITS/enpanel-site.socket"
bash "$here/scripts/install-site" --site "$work/site" --socket /run/enpanel-site3.socket >"$work/out" 2>&1
check "one the operator edited is kept, the new version beside it" \
  sh -c "tail -n 1 '$KIT_SYSTEMD_UNITS/enpanel-site.socket' | grep -qx \"# the operator's\" &&
         grep -qx 'ListenStream=/run/enpanel-site3.socket' '$KIT_SYSTEMD_UNITS/enpanel-site.socket.enpanel-new' &&
         grep -q 'enpanel-site.socket was changed since it was installed: kept as it is' '$work/out'"
line=$(bash "$here/scripts/install-site" --site "$work/site" --remove 2>&1)
check "--remove takes the units away too" \
  sh -c "[ ! -e '$KIT_SYSTEMD_UNITS/enpanel-site.socket' ] && [ ! -e '$KIT_SYSTEMD_UNITS/enpanel-site@.service' ] &&
         [ ! -e '$work/web2/systemd/enpanel-site.socket' ] && [ ! -e '$work/site/.install-site' ]"
unset KIT_SYSTEMD_UNITS

# --- An upgrade never restarts another package's server ----------------------
# Stand-ins for the commands that would restart one, which note each call.
mkdir -p "$work/shims"
for command in systemctl service invoke-rc.d deb-systemd-invoke; do
  printf '#!/bin/sh\necho "%s $*" >>%q\n' "$command" "$work/restarts" >"$work/shims/$command"
  chmod +x "$work/shims/$command"
done
bash "$here/scripts/install-site" --site "$work/lighttpd" --server lighttpd --mode fastcgi \
  --web "$work/web-l" --port 8099 --books "$work/books" >/dev/null 2>&1
PATH="$work/shims:$PATH" ENPANEL_KIT_RESTART=1 bash "$here/scripts/install-site" --site "$work/lighttpd" \
  >"$work/out" 2>&1
check "lighttpd's persistent processes after an upgrade: the line is printed, not run" \
  sh -c "grep -A1 'keep the old program until they are started again' '$work/out' | grep -q 'lighttpd restart' &&
         [ ! -s '$work/restarts' ]"

# --- An install interrupted after each step, then run again -----------------
# Each site its own web folder, the two names of one length (the state file is compared by size).
install --site "$work/intact" --server lighttpd --books "$work/books" --web "$work/web-c" >/dev/null 2>&1
for stop in site-folder program statistics books web-folders configuration; do
  rm -rf "$work/broken"
  INSTALL_SITE_STOP_AFTER=$stop install --site "$work/broken" --server lighttpd --books "$work/books" \
    --web "$work/web-b" >/dev/null 2>&1
  install --site "$work/broken" --server lighttpd --books "$work/books" --web "$work/web-b" >"$work/out" 2>&1
  check "interrupted after $stop, the run again lays it all out" grep -q 'laid out for www-data' "$work/out"
  check "the same as a clean install" test "$(snapshot "$work/broken")" = "$(snapshot "$work/intact")"
done

# --- Sites of one folder name, and a port already taken ---------------------
# The second kutub/ gets units, a socket and links of its own (its enable
# line installs units beside the first's); its removal leaves the first's.
# A port something listens on is refused before anything changes.
units="$work/units-kutub"
mkdir "$units"
KIT_SYSTEMD_UNITS="$units" install --site "$work/a/kutub" --server nginx --mode fastcgi --web "$work/web-ka" \
  --books "$work/books" >/dev/null 2>&1
cp "$work/web-ka/systemd/enpanel-kutub.socket" "$work/web-ka/systemd/enpanel-kutub@.service" "$units/"
KIT_SYSTEMD_UNITS="$units" bash "$here/scripts/install-site" --program "$enpanel" --site "$work/b/kutub" \
  --server nginx --mode fastcgi --web "$work/web-kb" --port 8096 --books "$work/books" >"$work/out" 2>&1
check "a second site of one folder name goes by a name of its own (exit $?)" \
  sh -c "[ -f '$work/web-kb/systemd/enpanel-kutub-2.socket' ] && grep -q 'enpanel-kutub-2.conf' '$work/out' &&
         grep -q 'ListenStream=/run/enpanel-kutub-2.socket' '$work/web-kb/systemd/enpanel-kutub-2.socket'"
KIT_SYSTEMD_UNITS="$units" bash "$here/scripts/install-site" --site "$work/b/kutub" --remove >"$work/out" 2>&1
check "its removal leaves the first site's units and configuration" \
  sh -c "grep -qF '$work/a/kutub/enPanel' '$units/enpanel-kutub@.service' && [ -f '$work/web-ka/enpanel-nginx-fastcgi.conf' ] &&
         ! grep -q 'enpanel-kutub[.@]' '$work/out'"
perl -MIO::Socket::INET -e '$s = IO::Socket::INET->new(LocalAddr => "127.0.0.1:8095", Listen => 1, ReuseAddr => 1) or die; sleep 30' &
listener=$!
for i in $(seq 50); do [ -n "$(ss -ltnH '( sport = :8095 )')" ] && break; sleep 0.1; done
refused "a port something listens on" "--port 8095: something listens on it already" --site "$work/new" --server nginx --web "$work/new" --port 8095
kill "$listener"

# --- Names the web account put where root acts --------------------------------
# Every name a run makes or changes in the site folder (found by tracing a
# run that copies the books) is made by www-data a link to a root-only file
# or folder; a run that copies the books again (an interrupted copy left
# behind), the site check's --fix (with today's counter a link too) and
# --remove follow none of them, and the books come out whole.
need strace
vault="$work/vault"
mkdir -m 0700 "$vault" "$vault/folder"
printf 'root only\n' >"$vault/file"
chmod 0600 "$vault/file"
victims() { stat -c '%n %u %g %a %s' "$vault/file" "$vault/folder"; sha256sum <"$vault/file"; ls -A "$vault/folder"
  getfacl -cp "$vault/file" "$vault/folder"; }
victims_before=$(victims)
planted="$work/planted"
kit_planted() { bash "$here/scripts/install-site" --program "$enpanel" --web "$work/web-planted" --port 8097 --site "$planted" "$@"; }
kit_planted --server nginx >/dev/null 2>&1
strace -f -qq -o "$work/trace" -e trace=openat,mkdir,rename,renameat2,symlink,chmod,fchmodat,chown,fchownat,unlinkat,setxattr \
  bash "$here/scripts/install-site" --program "$enpanel" --web "$work/web-planted" --port 8097 --site "$planted" --books "$work/books" >/dev/null 2>&1
grep -v 'O_RDONLY[|)]\|O_RDONLY,' "$work/trace" | grep -o "\"$planted/[^/\"]*" | sed "s|^\"$planted/||" | sort -u >"$work/names"
check "the traced run made and changed names in the site folder ($(tr '\n' ' ' <"$work/names"))" grep -qx fulltxt "$work/names"
rm -rf "$planted/fulltxt" "$planted/fullindexes"
mkdir -p -m 0700 "$planted/.install-interrupted/fulltxt"
touch "$planted/.install-interrupted/fulltxt/ARQUR.TXT"
# (Book folders that are there are the site's: those two names are left free.)
while read -r name; do
  target="$vault/file"
  case "$name" in fulltxt|fullindexes) continue ;; .install-*) target="$vault/folder" ;; esac
  [ -e "$planted/$name" ] || as_www ln -s "$target" "$planted/$name"
done < <(cat "$work/names"; printf '%s\n' .install-site.new .install-fulltxt .install-fullindexes)
kit_planted --books "$work/books" >"$work/out" 2>&1
check "a run with links at those names copies the books whole (exit $?)" \
  sh -c "diff -r '$work/books/fulltxt' '$planted/fulltxt' && diff -r '$work/books/fullindexes' '$planted/fullindexes' && [ ! -e '$planted/.install-interrupted' ]" \
  || cat "$work/out"
today_counter="$planted/Statistics/\$enPanel\$$(date +%Y-%m-%d).ctr"
as_www ln -s "$vault/file" "$today_counter"
"$planted/enPanel-check" "$planted" --user www-data --fix >"$work/report" 2>&1
check "the site check names the counter that is a link, and no mend acts through it" \
  sh -c "grep -qF 'is a link or another file'\''s second name' '$work/report' &&
         ! grep -F '$(date +%Y-%m-%d).ctr' '$work/report' | grep -q 'chown\|chmod\|setfacl'"
kit_planted --grant >"$work/out" 2>&1
check "--grant refuses it too (exit $?)" grep -q "today's ctr file $today_counter is a link" "$work/out"
kit_planted --remove >/dev/null 2>&1
check "the root-only file and folder kept their bytes, owner and mode" test "$(victims)" = "$victims_before"

# --- The kit and the site check, one answer ---------------------------------
# Both ask the kernel as the account: books linked from a folder it cannot
# search are named by both, through that folder, with the same entry; a
# Statistics/ on a read-only mount is no sound site. (The mount needs root.)
reach="$work/reach"
mkdir -p -m 0700 "$work/home-0700"
cp -R "$work/books/fulltxt" "$work/books/fullindexes" "$work/home-0700/"
install --site "$reach" --server nginx --web "$work/web-reach" --books "$work/home-0700" --link-books >/dev/null 2>&1
install --site "$reach" --server nginx --web "$work/web-reach" >"$work/out" 2>&1
check "the kit names the folder the account cannot search on the way to the books (exit $?)" \
  grep -q "reach the book folder fulltxt/ (in $work/home-0700/fulltxt) through $work/home-0700" "$work/out"
"$reach/enPanel-check" "$reach" --user www-data >"$work/report"
check "the site check names the same folder, with the same entry (exit $?)" \
  sh -c "grep -q 'it may not search $work/home-0700 (root.s) on the way there' '$work/report' &&
         grep -qx '  mend: setfacl -m u:www-data:x $work/home-0700' '$work/report' &&
         grep -qx '  setfacl -m u:www-data:x $work/home-0700' '$work/out'"
if mount --bind "$reach/Statistics" "$reach/Statistics" && mount -o remount,ro,bind "$reach/Statistics"; then
  "$reach/enPanel-check" "$reach" --user www-data >"$work/report"
  check "a read-only Statistics/ is named and the site is not sound (exit $?)" \
    grep -q '^PROBLEM: Statistics/ lies on a file system mounted read-only: no visit is counted' "$work/report"
  umount "$reach/Statistics"
else
  check "a read-only bind mount of Statistics/ could be made" false
fi
(cd "$work" && bash "$here/scripts/install-site" --program "$enpanel" --site ./reach//. >"$work/out" 2>&1)
check "a site named as ./reach//. is the same site (exit $?)" grep -q "program upgraded in $reach " "$work/out"

# --- The site check: each fault's true line, and its mend --------------------
site="$work/intact"
"$site/enPanel-check" "$site" --user www-data >/dev/null
check "the site check: a sound site gives 0" test $? = 0
mend_of() {  # REPORT PATTERN: the mend printed after the line that matches
  awk -v p="$2" 'index($0, p) { found = 1; next } found && /^  mend: / { print substr($0, 9); exit }' "$1"
}
request "$site" >/dev/null

# A headers file left stale by a run as root.
chown root: "$site/Hdrs1020.TXT"
touch -d 2001-01-01 "$site/Hdrs1020.TXT"
"$site/enPanel-check" "$site" --user www-data >"$work/report"
check "a root-owned stale headers file gives 1" test $? = 1
check "and says what visitors get" grep -q "PROBLEM: Account www-data cannot replace Hdrs1020.TXT (root's) in the site folder: the headers file is stale and no request can put a new one in its place: every visitor sees the failed rebuild (with the site's paths) and no book names" "$work/report"
check "and not that the next request rebuilds it" sh -c "! grep -q 'next request rebuilds' '$work/report'"
request "$site" >"$work/page" 2>/dev/null
check "which is what the page shows" sh -c "grep -q 'Error trying to write to: $site/Hdrs1020.TXT' '$work/page' && grep -q 'style=\"CURSOR: hand\"><br>' '$work/page'"
mend=$(mend_of "$work/report" "cannot replace Hdrs1020.TXT")
check "the mend is a chown ($mend)" test "$mend" = "chown www-data:www-data $site/Hdrs1020.TXT"
bash -c "$mend"
request "$site" >/dev/null
"$site/enPanel-check" "$site" --user www-data >"$work/report"
check "after it the site is sound" test $? = 0

# Statistics/ left root's, today's counter and log still the account's.
chown root: "$site/Statistics"
"$site/enPanel-check" "$site" --user www-data >"$work/report"
check "a root-owned Statistics/ says visits are still counted today" grep -q "PROBLEM: Account www-data cannot write Statistics/ (root's): no session marker can be made there, so the log's counts of running sessions leave this program's own out; today's visits are still counted and logged" "$work/report"
counted=$(tr -d '\r\n' <"$site"/Statistics/*.ctr)
request "$site" >/dev/null 2>"$work/err"
check "which they are" test "$(tr -d '\r\n' <"$site"/Statistics/*.ctr)" = $((counted + 1))
check "and only the marker fails" sh -c "[ \$(wc -l <'$work/err') = 1 ] && grep -q 'No session marker made in $site/Statistics: Error code 13: Permission denied' '$work/err'"
mend=$(mend_of "$work/report" "cannot write Statistics/")
check "the mend is a chown ($mend)" test "$mend" = "chown www-data:www-data $site/Statistics"
bash -c "$mend"
"$site/enPanel-check" "$site" --user www-data >/dev/null
check "after it the site is sound" test $? = 0

# A stray file in the text folder: no problem, and a way to move it.
echo "notes" >"$site/fulltxt/README.TXT"
"$site/enPanel-check" "$site" --user www-data >"$work/report"
check "a stray README.TXT is no problem" test $? = 0
check "and the check says it does no harm" grep -q "Names that match no book code: .*fulltxt/README.TXT: the program passes them over; the page is none the worse for them" "$work/report"
tidy=$(sed -n 's/^    tidy up: //p' "$work/report")
bash -c "$tidy"
check "its tidy-up moves it away ($tidy)" sh -c "[ ! -e '$site/fulltxt/README.TXT' ] && [ -f $strays/README.TXT ]"

# Both ownership faults at once, mended by --fix.
chown root: "$site/Statistics" "$site/Hdrs1020.TXT"
touch -d 2001-01-01 "$site/Hdrs1020.TXT"
"$site/enPanel-check" "$site" --user www-data --fix >"$work/report"
check "--fix carries out the mends and the site is sound (exit $?)" \
  sh -c "grep -q '^fixing: chown www-data:www-data $site/Hdrs1020.TXT' '$work/report' && tail -n 1 '$work/report' | grep -q 'The site is sound.'"

"$site/enPanel-check" "$work/nowhere" 2>"$work/out"
check "the site check refuses a folder that does not exist" test $? = 2
"$site/enPanel-check" 2>/dev/null
check "the site check without a folder is bad usage" test $? = 2
"$site/enPanel-check" "$site" --fix 2>/dev/null
check "--fix without --user is bad usage" test $? = 2
checks_done
