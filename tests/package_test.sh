#!/usr/bin/env bash
# The Debian package as operators use it: scripts/package builds it, lintian
# finds no error and no warning, apt-get installs it (resolving what it
# depends on), and its enpanel-install-site lays out sites that this
# machine's servers serve, every kind with every web-server check (the
# web-server test, given the package's kit). Then a rebuilt package with a
# higher version is installed over it: every recorded site's program is the
# new one, and its persistent processes, started again by the line printed,
# answer with it. Removing the package leaves the sites as they are and
# serving; purging it removes its record of the sites and never a site.
#   package_test.sh MAKE_SITE HOLD_CONNECTIONS
# Needs root: apt-get installs the package; the servers and install-site as
# in the web-server test.
set -uo pipefail
make_site="$(realpath "$1")"
hold_connections="$(realpath "$2")"
here="$(cd "$(dirname "$0")/.." && pwd)"
source "$here/scripts/lib.sh"
export PATH="$PATH:/usr/sbin"

if [ "$(id -u)" -ne 0 ]; then
  echo "SKIPPED: needs root (apt-get installs the package; the servers, links in /etc)"
  exit 77
fi
need dpkg-buildpackage dh lintian nginx fcgiwrap spawn-fcgi curl pkill setpriv

work=$(mktemp -d)
chmod 755 "$work"
links=()
undo() {
  undo_enabled_sites "$work" "${links[@]}"
  links=()
}
# The package goes again, with its record of the sites.
trap 'undo; DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq enpanel >/dev/null 2>&1; rm -rf "$work"' EXIT

apt_get() { DEBIAN_FRONTEND=noninteractive apt-get "$@"; }

version=$(sed -n 's/^project(enPanel VERSION \([0-9.]*\) .*/\1/p' "$here/CMakeLists.txt")
deb=$("$here/scripts/package" deb | tail -n 1)
if ! check "scripts/package built $(basename "$deb")" \
    test "$deb" = "$here/build/packages/enpanel_${version}_amd64.deb" -a -s "$deb"; then
  checks_done
  exit
fi

lintian --pedantic --fail-on error,warning "$deb" >"$work/lintian.log" 2>&1
lintian_status=$?
check "lintian: no error, no warning (exit $lintian_status, $(grep -c '^[EW]: ' "$work/lintian.log") reported)" \
  sh -c "[ $lintian_status = 0 ] && ! grep -q '^[EW]: ' '$work/lintian.log'"
grep '^[EW]: ' "$work/lintian.log"
# The package's programs, hardened as every build is: read off the
# package build's own programs and objects, before they were stripped.
built="$here/build/packages/source/enpanel/obj-x86_64-linux-gnu"
if bash "$here/tests/hardening_test.sh" linux "$built/enPanel" "$built/enPanel-check" ON \
    "$built"/libenpanel_*.a >"$work/hardening.log" 2>&1; then
  check "the package's programs are hardened ($(tail -n 1 "$work/hardening.log"))" true
else
  cat "$work/hardening.log"
  check "the package's programs are hardened" false
fi
build_id() { readelf -nW "$1" | grep -o 'Build ID: [0-9a-f]*'; }
dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/lib/enpanel/enPanel >"$work/packaged"
check "the package holds those programs (the same build id)" \
  sh -c "[ -n \"$(build_id "$built/enPanel")\" ] && [ \"$(build_id "$built/enPanel")\" = \"$(build_id "$work/packaged")\" ]"

apt_get purge -y -qq enpanel >/dev/null 2>&1
rm -rf /var/lib/enpanel
apt_get install -y "$deb" >"$work/install.log" 2>&1
check "apt-get installs the package" sh -c "dpkg-query -W -f='\${Status} \${Version}' enpanel | grep -qx 'install ok installed $version'"
check "with both pages, the site check and the kit" \
  sh -c "[ -x /usr/lib/enpanel/enPanel ] && [ -x /usr/lib/enpanel/todays/enPanel ] &&
         [ -x /usr/lib/enpanel/enPanel-check ] && [ -x /usr/sbin/enpanel-install-site ] &&
         ! cmp -s /usr/lib/enpanel/enPanel /usr/lib/enpanel/todays/enPanel"
check "enPanel-check says its version" test "$(enPanel-check --version)" = "enPanel-check $version"
check "the manual pages" sh -c "man -w enpanel-install-site >/dev/null 2>&1 || [ -f /usr/share/man/man8/enpanel-install-site.8.gz ]"

# Every kind of site, with every check of the web-server test.
echo "== the web-server test, on sites the package's kit lays out"
if bash "$here/tests/web_servers_test.sh" /usr/lib/enpanel/enPanel "$make_site" "$hold_connections" \
    /usr/sbin/enpanel-install-site >"$work/web_servers.log" 2>&1; then
  check "the web-server test passed on the package's sites ($(tail -n 1 "$work/web_servers.log"))" true
else
  cat "$work/web_servers.log"
  check "the web-server test passed on the package's sites" false
fi

# Two sites kept through the upgrade, both under nginx (whose default site
# holds port 80, as Apache's does): one with persistent processes, one as a
# CGI program through fcgiwrap with the page for today's browsers.
"$make_site" "$work/books" --books 30 >/dev/null
chmod -R a+rX "$work/books"
nginx_port=$(free_port)
cgi_port=$(free_port)
enable() {  # LOG
  local line
  line=$(sed -n '/^\(Enable it with:\|systemd is not running here; enable and start it by hand with:\)$/{n;s/^  //p}' "$1")
  links+=($(grep -o '/etc/[a-z0-9/._-]*enpanel-[a-z-]*\.conf' <<<"$line"))
  bash -c "$line" >>"$work/enable.log" 2>&1
}
enpanel-install-site --site "$work/kept-nginx" --server nginx --mode fastcgi --books "$work/books" \
  --web "$work/web-nginx" --port "$nginx_port" --address 127.0.0.1 >"$work/nginx.log" 2>&1
enable "$work/nginx.log"
enpanel-install-site --site "$work/kept-cgi" --server nginx --page todays --books "$work/books" \
  --web "$work/web-cgi" --port "$cgi_port" --address 127.0.0.1 >"$work/cgi.log" 2>&1
enable "$work/cgi.log"
wait_for_port "$nginx_port"
wait_for_port "$cgi_port"
check "the sites are recorded" \
  sh -c "grep -qx '$work/kept-nginx' /var/lib/enpanel/sites && grep -qx '$work/kept-cgi' /var/lib/enpanel/sites"
served() {  # PORT
  [ "$(curl -s -o /dev/null -w '%{http_code}' "http://127.0.0.1:$1/cgi-bin/enPanel")" = 200 ]
}
both_served() { served "$nginx_port" && served "$cgi_port"; }
check "both sites served" both_served || cat "$work/enable.log" "$work/nginx.log" "$work/cgi.log"

echo "== a newer package installed over it"
newer="$version.1"
newer_deb=$("$here/scripts/package" --version "$newer" deb | tail -n 1)
apt_get install -y "$newer_deb" >"$work/upgrade.log" 2>&1
# apt runs the package's scripts on a terminal of its own, whose lines end
# in CR LF.
tr -d '\r' <"$work/upgrade.log" >"$work/upgrade.out"
sed -n '/^Setting up enpanel/,$p' "$work/upgrade.out"
check "apt-get installs version $newer over $version" \
  sh -c "dpkg-query -W -f='\${Version}' enpanel | grep -qx '$newer'"
check "each site's program is the new one" \
  sh -c "cmp -s '$work/kept-nginx/enPanel' /usr/lib/enpanel/enPanel &&
         cmp -s '$work/kept-cgi/enPanel' /usr/lib/enpanel/todays/enPanel &&
         grep -qa '@(#)enPanel $newer' '$work/kept-nginx/enPanel' '$work/kept-cgi/enPanel'"
check "and its site check" cmp -s "$work/kept-nginx/enPanel-check" /usr/lib/enpanel/enPanel-check
check "a site no longer there is named and left alone" \
  grep -q 'no longer a site (no .install-site); left as it is' "$work/upgrade.out"
line=$(sed -n '/keep the old program until they are started again:$/{n;s/^  //p}' "$work/upgrade.out")
check "the line that starts the persistent processes again is printed" test -n "$line"
bash -c "$line" >>"$work/restart.log" 2>&1
sleep 0.3
pid=$(pgrep -n -xf "$work/kept-nginx/enPanel")
check "the persistent processes run the new program" \
  sh -c "[ -n '$pid' ] && [ \"\$(stat -L -c %i /proc/$pid/exe)\" = \"\$(stat -c %i '$work/kept-nginx/enPanel')\" ]"
check "and answer" both_served

echo "== removed, then purged"
counter_before=$(cat "$work/kept-cgi"/Statistics/*.ctr | tr -d '\r\n')
apt_get remove -y enpanel >"$work/remove.log" 2>&1
check "apt-get remove takes the package's own files" test ! -e /usr/lib/enpanel/enPanel
check "and leaves the sites, their books, headers files and statistics, and the record" \
  sh -c "[ -x '$work/kept-nginx/enPanel' ] && [ -x '$work/kept-cgi/enPanel' ] &&
         [ -d '$work/kept-cgi/fulltxt' ] && [ -s '$work/kept-cgi/Hdrs1020.TXT' ] &&
         [ -f /var/lib/enpanel/sites ]"
counted() { [ "$(cat "$work/kept-cgi"/Statistics/*.ctr | tr -d '\r\n')" -eq $((counter_before + 1)) ]; }
check "the sites still serve, counting each visit" eval 'both_served && counted'
apt_get purge -y enpanel >"$work/purge.log" 2>&1
check "apt-get purge removes the record of the sites" test ! -e /var/lib/enpanel
check "and never a site" \
  sh -c "[ -x '$work/kept-nginx/enPanel' ] && [ -d '$work/kept-nginx/fulltxt' ] && [ -d '$work/kept-nginx/Statistics' ] &&
         [ -s '$work/kept-nginx/Hdrs1020.TXT' ] && [ -f '$work/kept-nginx/.install-site' ]"
tr -d '\r' <"$work/purge.log" >"$work/purge.out"
check "purge names each site that remains, with the line that takes its setup away" \
  sh -c "grep -qx 'enpanel: the site $work/kept-nginx remains and serves; this line takes its server setup away (its programs and data stay):' '$work/purge.out' &&
         grep -q 'the site $work/kept-cgi remains and serves' '$work/purge.out'"
line=$(sed -n "\|the site $work/kept-cgi remains|{n;s/^  //p}" "$work/purge.out")
bash -c "$line" >"$work/removal.log" 2>&1
check "that line, run without the package, takes the site's setup away ($line)" \
  sh -c "[ ! -e /etc/nginx/sites-enabled/enpanel-kept-cgi.conf ] && [ ! -e '$work/web-cgi/enpanel-nginx.conf' ] &&
         [ ! -e '$work/kept-cgi/.install-site' ] &&
         [ \"\$(curl -s -o /dev/null -w '%{http_code}' http://127.0.0.1:$cgi_port/cgi-bin/enPanel)\" != 200 ]"
check "and leaves its programs and data" \
  sh -c "[ -x '$work/kept-cgi/enPanel' ] && [ -s '$work/kept-cgi/Hdrs1020.TXT' ] && [ -d '$work/kept-cgi/Statistics' ]"

checks_done
