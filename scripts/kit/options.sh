# The install kit's options: read into `given`, then settled against what
# the site's last complete run was told (`was`, from its state file) and
# checked, every one, before anything changes. A bad one gets one line
# naming it and exit status 2.

die() { echo "install-site: $*" >&2; exit 2; }
say() { echo "install-site: $*"; }

declare -A given=()

# read_options ARG...: the command line into `given`.
read_options() {
  while [ $# -gt 0 ]; do
    case "$1" in
      --site|--server|--mode|--page|--user|--books|--web|--port|--address|--program|--fcgiwrap-socket|--socket|--processes)
        [ $# -ge 2 ] || die "$1 needs a value"
        case "$2" in
          "") die "$1 needs a value, not an empty one" ;;
          --*) die "$1 needs a value, not the option $2" ;;
        esac
        given[${1#--}]="$2"
        shift 2
        ;;
      --link-books) given[link-books]=1; shift ;;
      --grant) given[grant]=1; shift ;;
      --remove) given[remove]=1; shift ;;
      --upgrade-recorded) given[upgrade-recorded]=1; shift ;;
      -h|--help) given[help]=1; shift ;;
      *) die "unknown option: $1 (see --help)" ;;
    esac
  done
}

# entry_any_case DIR NAME: the name of DIR's entry that is NAME in any
# letter case (a site from a Windows server has "FullTXT"); nothing if none.
entry_any_case() {
  find "$1" -mindepth 1 -maxdepth 1 -iname "$2" -printf '%f\n' 2>/dev/null | sort | head -n 1
}

# absolute PATH: PATH from the root, spelled one way ("." and ".." taken
# away, "//" and a last "/" too; links are not resolved).
absolute() { realpath -ms -- "$1"; }

# refuse_system_folder PATH: a site folder is a folder of its own, never the
# root, a folder directly in it (/srv, /etc, /home) or one of the system's.
refuse_system_folder() {
  if [ "$(dirname "$1")" = / ]; then
    die "--site $1: the root or a folder directly in it is the system's, not a site; nothing changed (give the site a folder of its own, as /srv/NAME)"
  fi
  case "$1/" in
    /etc/* | /usr/* | /bin/* | /sbin/* | /lib*/* | /boot/* | /dev/* | /proc/* | /sys/* | /run/* | /var/lib/* | /var/cache/* | /var/log/* | /var/spool/*)
      die "--site $1: lies in a folder of the system's; nothing changed (give the site a folder of its own, as /srv/NAME)" ;;
  esac
}

# A path the configurations can hold: printable, and none of the characters
# that their quoting, variables or the systemd units would read otherwise.
check_path() {  # OPTION PATH
  local bad='["'"'"'\\$%`{}]'
  [[ "$2" =~ $bad ]] && die "$1 $2: a path for the configuration cannot hold \" ' \\ \$ % \` { or }"
  [[ "$2" =~ [[:cntrl:]] ]] && die "$1: the path holds a control character"
  return 0
}
is_ipv4() {
  local IFS=. octet
  local -a octets
  [[ "$1" =~ ^[0-9]{1,3}(\.[0-9]{1,3}){3}$ ]] || return 1
  read -r -a octets <<<"$1"
  for octet in "${octets[@]}"; do [ "$((10#$octet))" -le 255 ] || return 1; done
}
is_ipv6() {
  [[ "$1" =~ ^[0-9A-Fa-f:.]+$ ]] && [[ "$1" == *:* ]] || return 1
  local double="${1//[^:]/}" rest="${1//::/@}"
  [[ "$rest" != *@*@* ]] && [ "${#double}" -le 7 ]
}

# --- The site's name and port, its own among the sites of the machine -----

# belongs_to_site FILE: FILE (a server's enabling link, a unit, supervisord's
# section) is this site's: a link to a configuration whose web folder runs
# this site's program, or a file that names it.
belongs_to_site() {
  if [ -L "$1" ]; then
    local conf
    conf=$(readlink -m "$1")
    [ "$(readlink "$(dirname "$conf")/cgi-bin/enPanel" 2>/dev/null)" = "$site/enPanel" ]
    return
  fi
  grep -qF -- "$site/enPanel" "$1" 2>/dev/null
}

# name_used_elsewhere NAME: another site's units, enabling links or
# supervisord section bear NAME, or (the package's kit) a recorded site is
# called so.
name_used_elsewhere() {
  local file other
  for file in "/etc/nginx/sites-enabled/enpanel-$1.conf" "/etc/apache2/conf-enabled/enpanel-$1.conf"       "/etc/lighttpd/conf-enabled/90-enpanel-$1.conf" "$(units_folder)/enpanel-$1.socket"       "$(units_folder)/enpanel-$1@.service" "$(supervisor_folder)/enpanel-$1.conf"; do
    if [ -e "$file" ] || [ -L "$file" ]; then belongs_to_site "$file" || return 0; fi
  done
  [ -n "${packaged_records:-}" ] || return 1
  while IFS= read -r other; do
    [ -n "$other" ] && [ "$other" != "$site" ] || continue
    [ "$(recorded_name "$other")" != "$1" ] || return 0
  done < <(recorded_sites "$packaged_records")
  return 1
}

# recorded_name SITE: the name a site laid out by the kit goes by.
recorded_name() {
  local recorded=""
  [ ! -f "$1/.install-site" ] || recorded=$(sed -n 's/^name=//p' "$1/.install-site" | head -n 1)
  echo "${recorded:-$(basename "$1")}"
}

# choose_name: the site folder's own name, or where another site goes by it,
# that name with "-2", "-3"...: the units, sockets and links it names are
# the site's own. Kept in the state from then on.
choose_name() {
  local base n=1
  base=$(basename "$site")
  name="$base"
  while name_used_elsewhere "$name"; do
    n=$((n + 1))
    name="$base-$n"
  done
}

# check_port_free: a port new to the site must be free: nothing listens on
# it, and no other recorded site has it.
check_port_free() {
  [ "${was[port]:-}" != "$port" ] || return 0
  if command -v ss >/dev/null && [ -n "$(ss -ltnH "( sport = :$port )" 2>/dev/null)" ]; then
    die "--port $port: something listens on it already (ss -ltnp 'sport = :$port' names it); nothing changed (give the site a port of its own with --port)"
  fi
  [ -n "${packaged_records:-}" ] || return 0
  local other
  while IFS= read -r other; do
    [ -n "$other" ] && [ "$other" != "$site" ] && [ -f "$other/.install-site" ] || continue
    [ "$(sed -n 's/^port=//p' "$other/.install-site" | head -n 1)" != "$port" ] ||
      die "--port $port: the site $other has it already; nothing changed (give the site a port of its own with --port)"
  done < <(recorded_sites "$packaged_records")
}

# What this run does: what it is given, else what the last complete run was
# given, else the default.
setting() { echo "${given[$1]:-${was[$1]:-$2}}"; }

# settle_options: every setting of this run, checked (needs `site` and `was`).
settle_options() {
  server=$(setting server "")
  mode=$(setting mode cgi)
  page=$(setting page legacy)
  user=$(setting user www-data)
  web=$(absolute "$(setting web /var/www/enpanel)")
  port=$(setting port 8080)
  address=$(setting address "")
  processes=$(setting processes 2)
  name="${was[name]:-}"
  [ -n "$name" ] || choose_name

  case "$server" in
    nginx|apache|lighttpd) ;;
    "") die "--server nginx|apache|lighttpd is needed" ;;
    *) die "--server: unknown server \"$server\": nginx, apache or lighttpd" ;;
  esac
  case "$mode" in cgi|fastcgi) ;; *) die "--mode: \"$mode\" is neither cgi nor fastcgi" ;; esac
  case "$page" in
    legacy|todays) ;;
    *) die "--page: \"$page\" is neither legacy (the page as it always was) nor todays (for today's browsers)" ;;
  esac
  [ -z "${given[page]:-}" ] || [ -z "${given[program]:-}" ] ||
    die "--page and --program: the program given is the page it was built as; give one of them"
  getent passwd "$user" >/dev/null || die "--user: no such account: $user"
  group=$(id -gn "$user")
  [[ "$port" =~ ^[0-9]{1,5}$ ]] && [ "$((10#$port))" -ge 1 ] && [ "$((10#$port))" -le 65535 ] ||
    die "--port $port: a port is a number from 1 to 65535"
  port=$((10#$port))
  [ -z "$address" ] || is_ipv4 "$address" || is_ipv6 "$address" ||
    die "--address $address: neither an IPv4 nor an IPv6 address"
  [[ "$processes" =~ ^[0-9]{1,3}$ ]] && [ "$processes" -ge 1 ] ||
    die "--processes $processes: a number of processes from 1 to 999"
  check_port_free
  [[ "$name" =~ ^[A-Za-z0-9._-]+$ ]] ||
    die "--site $site: the folder's own name (\"$name\") names the units and links; letters, digits, \".\", \"_\" and \"-\" only"
  check_path --web "$web"
  case "$web/" in "$site"/*) die "--web $web lies inside the site folder" ;; esac
  case "$site/" in "$web"/*) die "--site: the site folder lies inside --web $web" ;; esac
  # A web folder serves one site: its link names the program it runs.
  if [ -L "$web/cgi-bin/enPanel" ]; then
    local serves
    serves=$(readlink "$web/cgi-bin/enPanel")
    [ "$serves" = "$site/enPanel" ] ||
      die "--web $web serves the site $(dirname "$serves") already; nothing changed (give this site a web folder of its own with --web)"
  fi
  fcgiwrap_socket=$(absolute "$(setting fcgiwrap-socket /run/fcgiwrap.socket)")
  check_path --fcgiwrap-socket "$fcgiwrap_socket"
  # The socket as given, now or before; otherwise the server's default.
  socket_given="${given[socket]:-${was[socket]:-}}"
  socket="/run/enpanel-$name.socket"
  [ "$server" = lighttpd ] && socket="/run/lighttpd/enpanel-$name.socket"
  [ -z "$socket_given" ] || socket=$(absolute "$socket_given")
  check_path --socket "$socket"
  [ "${#socket}" -lt 100 ] || die "--socket $socket: too long for a socket's name (under 100 characters)"
  # The servers that start the program themselves read its path as a command
  # line, cut at spaces.
  if [ "$server/$mode" = lighttpd/fastcgi ] && [[ "$site" == *[[:space:]]* ]]; then
    die "--site $site: lighttpd starts the program from a command line it cuts at spaces; a site folder without spaces, please"
  fi
  if [ "$server/$mode" = apache/fastcgi ] && [[ "$web" == *[[:space:]]* ]]; then
    die "--web $web: mod_fcgid starts the program from a command line it cuts at spaces; a web folder without spaces, please"
  fi
  if [ "${given[user]:-}" ] && [ "${was[user]:-}" ] && [ "${given[user]}" != "${was[user]}" ]; then
    die "--user: the site is laid out for ${was[user]}: its Statistics/ and files belong to that account; nothing changed"
  fi

  books="${given[books]:-}" link_books="${given[link-books]:-0}"
  if [ -n "$books" ]; then
    books=$(absolute "$books")
    check_path --books "$books"
    [ -d "$books" ] || die "--books $books: no such folder"
    books_texts=$(entry_any_case "$books" fulltxt)
    books_indexes=$(entry_any_case "$books" fullindexes)
    [ -n "$books_texts" ] && [ -d "$books/$books_texts" ] && [ -n "$books_indexes" ] && [ -d "$books/$books_indexes" ] ||
      die "--books $books holds no fulltxt/ and fullindexes/ folders (in any letter case)"
    books="$(cd "$books" && pwd)"
  fi
  [ "$link_books" = 0 ] || [ -n "$books" ] || die "--link-books needs --books DIR"
  # A program given is the site's from then on, until a page is given.
  recorded_program=""
  [ -z "${given[program]:-}" ] || recorded_program=$(absolute "${given[program]}")
  [ -n "$recorded_program" ] || [ -n "${given[page]:-}" ] || recorded_program="${was[program]:-}"
  return 0
}

# survey_site_folder: a site folder that is missing or empty is the kit's
# to make (`fresh_site`); one that already holds something may hold anything:
# a site from a Windows server holds its sibling programs and other files
# beside the book folders, the headers file and Statistics/. The kit adds
# its own files and changes none of the others; `others` names them for the
# report.
survey_site_folder() {
  others=()
  fresh_site=1
  [ -e "$site" ] || [ -L "$site" ] || return 0
  [ -d "$site" ] || die "--site: $site is not a folder"
  # An empty folder is the kit's to give its rights only where it is a
  # folder of root's itself, not a link to one.
  if [ -n "$(ls -A "$site")" ] || [ -L "$site" ] || [ "$(stat -c %u "$site")" != 0 ]; then
    fresh_site=0
  fi
  local entry_name pieces=0
  while IFS= read -r -d '' entry_name; do
    case "${entry_name,,}" in
      .install-site|enpanel|enpanel-check|fulltxt|fullindexes|statistics|hdrs*.txt|hdrs*.bak) pieces=1 ;;
      enpanel.exe) pieces=1; others+=("$entry_name") ;;  # the old program, left as it is
      .install-*|"~enpanel-"*.tmp) ;;
      *) others+=("$entry_name") ;;
    esac
  done < <(find "$site/" -mindepth 1 -maxdepth 1 -printf '%f\0' | sort -z)
  [ "$pieces" = 1 ] || [ ${#others[@]} -eq 0 ] ||
    die "--site $site holds no site (no book folders, headers file, Statistics/ or program) and is not empty; nothing changed (give a new or empty folder, or the folder of a site)"
}
