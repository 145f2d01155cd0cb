# Shared by the scripts: package installation and output helpers.

# Every Debian package the scripts and tests use: its name, the stage that
# installs it, and what it provides (commands, or files by their path).
# scripts/test installs the stages core, web, pictures, browser and windows;
# the benchmarks' own packages (stage bench) stay out of the tests' set.
PACKAGE_TABLE='
cmake                 core      cmake ctest
make                  core      make
g++                   core      g++
clang                 core      clang clang++
libclang-rt-14-dev    core      libclang_rt.fuzzer-x86_64.a libclang_rt.asan-x86_64.a
googletest            core      /usr/src/googletest
libgtest-dev          core      /usr/include/gtest/gtest.h
binutils              core      readelf objdump
dpkg-dev              core      dpkg-buildflags
git                   core      git
gzip                  core      gzip
util-linux            core      setpriv setsid
procps                core      pkill pgrep
lighttpd              web       lighttpd
lighttpd-mod-deflate  web       /usr/lib/lighttpd/mod_deflate.so
apache2               web       apache2 a2enmod a2dismod apache2ctl
libapache2-mod-fcgid  web       /usr/lib/apache2/modules/mod_fcgid.so
nginx-light           web       nginx
fcgiwrap              web       fcgiwrap
spawn-fcgi            web       spawn-fcgi
curl                  web       curl
iproute2              web       ss
init-system-helpers   web       service
systemd               web       systemd-analyze
imagemagick           pictures  /usr/bin/convert
fonts-dejavu-core     pictures  /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf
chromium              browser   /usr/bin/chromium
nodejs                browser   node
npm                   browser   npm
g++-mingw-w64-x86-64  windows   x86_64-w64-mingw32-g++
wine                  windows   wine winepath
wine64                windows   /usr/lib/wine/wine64
libfcgi-dev           bench     /usr/include/fcgiapp.h
wrk                   bench     wrk
valgrind              bench     valgrind callgrind_annotate
'
TEST_STAGES="core web pictures browser windows"

# packages_of STAGE...: the packages the table gives these stages.
packages_of() {
  local stages=" $* "
  awk -v stages="$stages" 'NF >= 3 && index(stages, " " $2 " ") { print $1 }' <<<"$PACKAGE_TABLE"
}

# package_for NAME [STAGE...]: the package that provides NAME in these
# stages (the tests' by default); nothing when none does.
package_for() {
  local name="$1"
  shift
  local stages=" ${*:-$TEST_STAGES} "
  awk -v name="$name" -v stages="$stages" '
    NF >= 3 && index(stages, " " $2 " ") { for (i = 3; i <= NF; i++) if ($i == name) { print $1; exit } }' \
    <<<"$PACKAGE_TABLE"
}

# need NAME...: each NAME (a command, a file by its path, or a runtime
# library of clang's by its name) is there and
# comes from a package that scripts/test installs; otherwise one line naming
# what is missing, and exit 1. A command only installed by hand (or by the
# benchmarks) fails too, so that it fails on every machine alike.
need() {
  local name package
  for name in "$@"; do
    package=$(package_for "$name")
    if [ -z "$package" ]; then
      echo "need $name: no package that scripts/test installs provides it (the table in scripts/lib.sh)" >&2
      exit 1
    fi
    if [[ "$name" == /* ]]; then
      [ -e "$name" ] && continue
    elif [[ "$name" == libclang_rt.* ]]; then
      [ -e "$(clang -print-resource-dir 2>/dev/null)/lib/linux/$name" ] && continue
    elif command -v "$name" >/dev/null || [ -x "/usr/sbin/$name" ] || [ -x "/sbin/$name" ]; then
      continue
    fi
    echo "missing $name (package $package): run scripts/test" >&2
    exit 1
  done
}

step() { printf '\n== %s\n' "$*"; }

# Installs the Debian packages that are missing. As root it runs apt-get;
# otherwise it prints the one command needed and stops.
ensure_packages() {
  local missing=()
  local p
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$p")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages. Run as root:" >&2
    echo "  apt-get update && apt-get install -y --no-install-recommends ${missing[*]}" >&2
    exit 1
  fi
  step "installing: ${missing[*]}"
  if [ -z "${ENPANEL_APT_UPDATED:-}" ]; then
    apt-get update -qq || true
    export ENPANEL_APT_UPDATED=1
  fi
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# The site configurations that scripts/install-site writes (the demo too).

# fill_template TEMPLATE OUTPUT NAME=VALUE...: TEMPLATE with every @NAME@
# replaced by its VALUE, taken as it is (spaces, "|" and "&" too).
fill_template() {
  local template="$1" out="$2" pair line i
  shift 2
  local -a names=() values=()
  for pair in "$@"; do names+=("${pair%%=*}"); values+=("${pair#*=}"); done
  while IFS= read -r line || [ -n "$line" ]; do
    for i in "${!names[@]}"; do line=${line//"@${names[$i]}@"/"${values[$i]}"}; done
    printf '%s\n' "$line"
  done <"$template" >"$out"
}

# site_config_name SERVER MODE: the configuration file's name in the web folder.
site_config_name() {
  if [ "$2" = fastcgi ]; then echo "enpanel-$1-fastcgi.conf"; else echo "enpanel-$1.conf"; fi
}

# write_site_config SERVER MODE WEB SITE NAME ADDRESS PORT FCGIWRAP_SOCKET
#   SOCKET PROCESSES USER GROUP: writes the server's configuration for the
# site into WEB (and, for nginx in FastCGI mode, the systemd units into
# WEB/systemd) from deploy/, and prints the configuration's path.
write_site_config() {
  local server="$1" mode="$2" web="$3" site="$4" name="$5" address="$6" port="$7"
  local fcgiwrap_socket="$8" socket="$9" processes="${10}" user="${11}" group="${12}"
  local deploy here_dir template conf
  here_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
  deploy="$here_dir/deploy"
  local host="$address"
  case "$address" in *:*) host="[$address]" ;; esac
  local nginx_listen="$port" apache_listen="$port" apache_vhost="*:$port" lighttpd_listen=":$port"
  if [ -n "$address" ]; then
    nginx_listen="$host:$port" apache_listen="$host:$port" apache_vhost="$host:$port"
    lighttpd_listen="$host:$port"
  fi
  case "$server/$mode" in
    nginx/cgi) template=nginx-fcgiwrap.conf ;;
    nginx/fastcgi) template=nginx-fastcgi.conf ;;
    apache/cgi) template=apache-cgi.conf ;;
    apache/fastcgi) template=apache-fcgid.conf ;;
    lighttpd/cgi) template=lighttpd.conf ;;
    lighttpd/fastcgi) template=lighttpd-fastcgi.conf ;;
  esac
  conf="$web/$(site_config_name "$server" "$mode")"
  local values=(WEB="$web" SITE="$site" NAME="$name" NGINX_LISTEN="$nginx_listen"
                APACHE_LISTEN="$apache_listen" APACHE_VHOST="$apache_vhost"
                LIGHTTPD_LISTEN="$lighttpd_listen" FCGIWRAP_SOCKET="$fcgiwrap_socket"
                SOCKET="$socket" PROCESSES="$processes" USER="$user" GROUP="$group")
  fill_template "$deploy/$template" "$conf" "${values[@]}"
  chmod 0644 "$conf"
  if [ "$server/$mode" = nginx/fastcgi ]; then
    mkdir -p "$web/systemd"
    fill_template "$deploy/systemd/enpanel.socket" "$web/systemd/enpanel-$name.socket" "${values[@]}"
    fill_template "$deploy/systemd/enpanel@.service" "$web/systemd/enpanel-$name@.service" "${values[@]}"
    chmod 0755 "$web/systemd"
    chmod 0644 "$web/systemd/enpanel-$name.socket" "$web/systemd/enpanel-$name@.service"
  fi
  echo "$conf"
}

# A free TCP port on 127.0.0.1.
free_port() {
  local port
  for port in $(shuf -i 20000-32000 -n 50); do  # below the ephemeral ports of outgoing connections
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
      echo "$port"
      return 0
    fi
  done
  return 1
}

# Writes a lighttpd configuration serving the CGI programs of SITE/cgi-bin
# on 127.0.0.1:PORT, and prints its path.
lighttpd_config() {
  local site="$1" port="$2" conf="$1/lighttpd.conf"
  mkdir -p "$site/htdocs" "$site/logs"
  cat >"$conf" <<CONF
server.document-root = "$site/htdocs"
server.bind = "127.0.0.1"
server.port = $port
server.modules = ("mod_alias", "mod_cgi")
server.errorlog = "$site/logs/lighttpd-error.log"
server.pid-file = "$site/logs/lighttpd.pid"
mimetype.assign = (".html" => "text/html", ".gif" => "image/gif", ".png" => "image/png")
alias.url = ("/cgi-bin/" => "$site/cgi-bin/")
# Programs are the files directly in the CGI folder; its pictures are files.
\$HTTP["url"] =~ "^/cgi-bin/[^/]*\$" { cgi.assign = ("" => "") }
CONF
  echo "$conf"
}

# Waits until something answers on 127.0.0.1:PORT (at most 10 s).
wait_for_port() {
  local i
  for i in $(seq 1 100); do
    if (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; then return 0; fi
    sleep 0.1
  done
  return 1
}

# Builds the release program and lays out a demo site under DEMO: the program
# in DEMO/default/site with all 371 books.
make_demo_site() {
  local demo="$1"
  cmake --preset release >/dev/null
  cmake --build --preset release -j "$(nproc)" --target enPanel make_site >/dev/null
  rm -rf "$demo"
  mkdir -p "$demo/default/site"
  cp build/release/enPanel "$demo/default/site/enPanel"
  build/release/make_site "$demo/default/site" >/dev/null
}

# Main configurations that serve the sites whose configurations install-site
# wrote (each file SITE_CONF an include): a server of its own in DIR, with
# its logs there. Started as root, the server runs CGI programs as www-data.

# lighttpd_main_config DIR DOCROOT SITE_CONF...: writes DIR/lighttpd.conf and
# prints its path. What programs write to standard error goes to
# DIR/breakage.log.
lighttpd_main_config() {
  local dir="$1" docroot="$2" conf="$1/lighttpd.conf" site
  shift 2
  mkdir -p "$dir"
  touch "$dir/error.log" "$dir/breakage.log"
  {
    echo "server.document-root = \"$docroot\""
    echo "server.bind = \"127.0.0.1\""
    echo "server.port = $(free_port)"
    if [ "$(id -u)" -eq 0 ]; then
      chown www-data: "$dir/error.log" "$dir/breakage.log"
      echo 'server.username = "www-data"'
      echo 'server.groupname = "www-data"'
    fi
    echo "server.errorlog = \"$dir/error.log\""
    echo "server.breakagelog = \"$dir/breakage.log\""
    echo "server.pid-file = \"$dir/lighttpd.pid\""
    echo 'mimetype.assign = (".html" => "text/html", ".gif" => "image/gif")'
    for site in "$@"; do echo "include \"$site\""; done
  } >"$conf"
  echo "$conf"
}

# nginx_main_config DIR SITE_CONF...: writes DIR/nginx.conf and prints its
# path; nginx runs as www-data, its error log is DIR/error.log.
nginx_main_config() {
  local dir="$1" conf="$1/nginx.conf" site
  shift
  mkdir -p "$dir/tmp"
  {
    echo "user www-data;"
    echo "worker_processes 2;"
    echo "pid $dir/nginx.pid;"
    echo "error_log $dir/error.log warn;"
    echo "events {}"
    echo "http {"
    echo "    include /etc/nginx/mime.types;"
    echo "    access_log off;"
    echo "    client_body_temp_path $dir/tmp;"
    for site in "$@"; do echo "    include $site;"; done
    echo "}"
  } >"$conf"
  echo "$conf"
}

# start_fcgiwrap SOCKET: starts fcgiwrap as Debian's service runs it (as
# www-data, with -f so that a program's standard error reaches nginx's error
# log) in a process group of its own, waits for its socket, and prints its
# process id.
start_fcgiwrap() {
  local socket="$1"
  mkdir -p "$(dirname "$socket")"
  chown www-data: "$(dirname "$socket")"
  setsid setpriv --reuid=www-data --regid=www-data --init-groups \
    fcgiwrap -f -c 4 -s "unix:$socket" >/dev/null 2>&1 &
  echo $!
  for _ in $(seq 50); do [ -S "$socket" ] && return 0; sleep 0.1; done
  return 1
}

# run_ctest BUILD_DIR CTEST_ARGS...: ctest, its report kept in
# BUILD_DIR/ctest-report.log for report_skipped.
run_ctest() {
  local dir="$1"
  shift
  ctest "$@" 2>&1 | tee "$dir/ctest-report.log"
}

# report_skipped BUILD_DIR...: the tests that the last run_ctest in each build
# skipped, each with the reason it gave (a script's "SKIPPED: ..." line, or
# the line after GoogleTest's "Skipped"); "none" when none was.
report_skipped() {
  local dir any=0 number name reason
  for dir in "$@"; do
    [ -f "$dir/ctest-report.log" ] || continue
    while read -r number name; do
      any=1
      reason=$(awk -v n="$number" '
        $0 ~ "^ *" n "/[0-9]+ Test: " { inside = 1; next }
        inside && /^SKIPPED: / { print substr($0, 10); exit }
        inside && /: Skipped$/ { getline; print; exit }
        inside && /^Test (Passed|Failed)/ { exit }' "$dir/Testing/Temporary/LastTest.log")
      echo "  $(basename "$dir"): $name: ${reason:-no reason given}"
    done < <(sed -n 's/^[[:space:]]*\([0-9]*\) - \(.*\) (Skipped)$/\1 \2/p' "$dir/ctest-report.log")
  done
  [ "$any" = 1 ] || echo "  none"
}
