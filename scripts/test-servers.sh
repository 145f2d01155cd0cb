# The web servers as the tests, the benchmarks and the demo run them: free
# ports, main configurations of servers of their own, fcgiwrap, a demo site.

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

# undo_enabled_sites WORK LINK...: what the lines install-site prints started
# or enabled goes again: the links they made, the system's servers stopped,
# and the persistent processes of the sites under WORK.
undo_enabled_sites() {
  local work="$1" link service
  shift
  for link in "$@"; do rm -f "$link"; done
  for service in supervisor nginx fcgiwrap apache2 lighttpd; do service "$service" stop >/dev/null 2>&1; done
  pkill -TERM -f "$work/.*/enPanel" 2>/dev/null
  sleep 0.2
  pkill -KILL -f "$work/.*/enPanel" 2>/dev/null
  return 0
}
