# The install kit's servers' configurations: filled in from the templates
# in $KIT_TEMPLATES (deploy/ in a checkout, the package's share folder),
# as install-site writes them (and scripts/demo).

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

# What the kit wrote before, by path (the checksum of what it wrote), and
# what it writes now: kept in the site's state by install-site, so that a
# file the operator edited since is never written over.
declare -A written_before=()
declare -a written_now=()

checksum() { sha256sum <"$1" | cut -c 1-64; }

# place_unless_edited FROM DEST RECORDED SINCE: FROM's bytes take DEST's
# place in one step (mode 0644), unless DEST was changed SINCE the kit put
# it there: its checksum neither FROM's nor RECORDED (a file the kit has no
# record of that differs counts as changed). Then DEST is kept, FROM's
# bytes go beside it as DEST.enpanel-new, and the operator is told.
# Status: 0 placed, 1 kept, 2 DEST held FROM's bytes already.
place_unless_edited() {
  local from="$1" dest="$2" recorded="$3" since="$4" now
  if [ -e "$dest" ]; then
    now=$(checksum "$dest")
    if [ "$now" = "$(checksum "$from")" ]; then
      rm -f "$dest.enpanel-new"
      return 2
    fi
    if [ "$now" != "$recorded" ]; then
      # (Called as a condition, where a failure would not end the run: it ends it here.)
      install -m 0644 "$from" "$dest.enpanel-new" || exit 1
      echo "install-site: $dest was changed since $since: kept as it is; this version is in $dest.enpanel-new" >&2
      return 1
    fi
  fi
  install -m 0644 "$from" "$dest.enpanel-placing" && mv -f "$dest.enpanel-placing" "$dest" || exit 1
  rm -f "$dest.enpanel-new"
}

# put_kit_file NEW DEST: NEW (a file the kit has just made, then removed)
# in DEST's place unless the operator edited DEST since the kit wrote it;
# what the kit wrote is recorded.
put_kit_file() {
  written_now+=("$(checksum "$1") $2")
  place_unless_edited "$1" "$2" "${written_before[$2]:-}" "the kit wrote it" || true
  rm -f "$1"
}

# site_config_name SERVER MODE: the configuration file's name in the web folder.
site_config_name() {
  if [ "$2" = fastcgi ]; then echo "enpanel-$1-fastcgi.conf"; else echo "enpanel-$1.conf"; fi
}

# write_site_config SERVER MODE WEB SITE NAME ADDRESS PORT FCGIWRAP_SOCKET
#   SOCKET PROCESSES USER GROUP: writes the server's configuration for the
# site into WEB (and, for nginx in FastCGI mode, the systemd units into
# WEB/systemd and supervisord's section into WEB/supervisor) from the
# templates; sets `conf` to the configuration's path.
write_site_config() {
  local server="$1" mode="$2" web="$3" site="$4" name="$5" address="$6" port="$7"
  local fcgiwrap_socket="$8" socket="$9" processes="${10}" user="${11}" group="${12}"
  local deploy="$KIT_TEMPLATES" template unit
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
  # The units keep home folders out of a process's sight, or read-only
  # where the site itself lies in one.
  local protect_home=yes
  case "$(realpath -m "$site")/" in /home/* | /root/* | /run/user/*) protect_home=read-only ;; esac
  # nginx's name for the site's processes: one per site folder, even where
  # two sites' configurations are read by one nginx without the kit's links.
  local upstream
  upstream="enpanel-$name-$(printf '%s' "$site" | sha256sum | cut -c 1-8)"
  local values=(PROTECT_HOME="$protect_home" READ_ONLY="$(read_only_entries "$site")" UPSTREAM="$upstream" WEB="$web" SITE="$site" NAME="$name" NGINX_LISTEN="$nginx_listen"
                APACHE_LISTEN="$apache_listen" APACHE_VHOST="$apache_vhost"
                LIGHTTPD_LISTEN="$lighttpd_listen" FCGIWRAP_SOCKET="$fcgiwrap_socket"
                SOCKET="$socket" PROCESSES="$processes" USER="$user" GROUP="$group"
                SUPERVISOR_COMMAND="$(supervisor_value "$(single_quoted "$site/enPanel")")"
                SUPERVISOR_SITE="$(supervisor_value "$site")" SUPERVISOR_SOCKET="$(supervisor_value "$socket")")
  fill_template "$deploy/$template" "$conf.enpanel-making" "${values[@]}"
  put_kit_file "$conf.enpanel-making" "$conf"
  if [ "$server/$mode" = nginx/fastcgi ]; then
    mkdir -p "$web/systemd"
    chmod 0755 "$web/systemd"
    fill_template "$deploy/systemd/enpanel.socket" "$web/systemd/enpanel-$name.socket.enpanel-making" "${values[@]}"
    fill_template "$deploy/systemd/enpanel@.service" "$web/systemd/enpanel-$name@.service.enpanel-making" "${values[@]}"
    for unit in "enpanel-$name.socket" "enpanel-$name@.service"; do
      put_kit_file "$web/systemd/$unit.enpanel-making" "$web/systemd/$unit"
    done
    mkdir -p "$web/supervisor"
    chmod 0755 "$web/supervisor"
    fill_template "$deploy/supervisor/enpanel.conf" "$web/supervisor/enpanel-$name.conf.enpanel-making" "${values[@]}"
    put_kit_file "$web/supervisor/enpanel-$name.conf.enpanel-making" "$web/supervisor/enpanel-$name.conf"
  fi
}

# read_only_entries SITE: what the units keep read-only in the process's
# view of the site folder, as ReadOnlyPaths= values: every entry there but
# those the program writes (Statistics/, Zafkar/, the headers file, its
# backup and lock, its temporary files), in their own letter case, and the
# kit's names whether there yet or not. A read-only entry can be neither
# written nor renamed, replaced or removed (it is a mount point there): the
# sibling programs and their files stay as they are whatever the rights.
# A name systemd would read otherwise (quotes, "%", "\") is left to the rights.
read_only_entries() {
  local -A seen=()
  local entry list=""
  for entry in fulltxt fullindexes enPanel enPanel-check .install-site; do seen[$entry]=1; done
  while IFS= read -r -d '' entry; do
    case "${entry,,}" in
      statistics | zafkar | hdrs*.txt | hdrs*.bak | hdrs*.lock | temp* | "~enpanel-"*.tmp | .install-?*) continue ;;
    esac
    [[ "$entry" =~ ^[A-Za-z0-9._@+=,-]+$ ]] && seen[$entry]=1
  done < <(find "$1/" -mindepth 1 -maxdepth 1 -printf '%f\0' 2>/dev/null)
  for entry in $(printf '%s\n' "${!seen[@]}" | sort); do list+=" \"-$1/$entry\""; done
  echo "${list# }"
}

# single_quoted TEXT: TEXT in single quotes, as a POSIX shell (and
# supervisord, splitting a command) reads it back.
single_quoted() { local quote="'" escaped="'\\''"; printf "'%s'" "${1//$quote/$escaped}"; }

# supervisor_value TEXT: TEXT as a value in supervisord's configuration,
# which reads "%" as the start of an expansion.
supervisor_value() { printf '%s' "${1//%/%%}"; }
