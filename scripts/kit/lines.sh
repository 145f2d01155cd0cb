# The lines the install kit prints for the operator, per server and mode:
# the one that enables a site, and the one that starts a site's persistent
# processes again after an upgrade. Each is a single shell line, to be run
# as printed.

q() { printf '%q' "$1"; }
systemd_runs() { [ -d /run/systemd/system ]; }

# Starts or reloads a server: through systemd where it runs, else through
# the service's own script (Debian has one for each), which needs no systemd.
start_server() {  # SERVICE restart|reload
  if systemd_runs; then
    if [ "$2" = restart ]; then echo "systemctl restart $1"; else echo "systemctl reload-or-restart $1"; fi
  else
    echo "service $1 restart"
  fi
}

site_units() {
  local units="" i
  for i in $(seq "$processes"); do units+=" enpanel-$name@$i.service"; done
  echo "${units# }"
}

# Where supervisord reads the sections the operator installed (a test may
# move it), and the site's section there.
supervisor_folder() { echo "${KIT_SUPERVISOR_CONF:-/etc/supervisor/conf.d}"; }
supervisor_copy() { echo "$(supervisor_folder)/enpanel-$name.conf"; }

# Replaces the site's persistent processes one at a time, so that the
# socket is listened on throughout (systemd's socket unit, or supervisord,
# holds it in any case; supervisord closes it once none of the site's
# processes runs). Each is asked to end (it answers what it holds and what
# is queued on its connections first) and started again on the program as
# it is now. Without systemd, supervisord first reads the site's section
# again (a changed one starts the site's processes anew).
restart_line() {
  local i line=""
  if systemd_runs; then
    line="systemctl start enpanel-$name.socket"
    for i in $(seq "$processes"); do line+=" && systemctl restart enpanel-$name@$i.service"; done
  else
    line="supervisorctl update enpanel-$name"
    for i in $(seq 0 $((processes - 1))); do
      line+=" && supervisorctl restart enpanel-$name:enpanel-${name}_$i"
    done
  fi
  echo "$line"
}

# The link in the server's configuration folder that enables the site (on
# SERVER, by default the site's).
site_link() {
  case "${1:-$server}" in
    nginx) echo "/etc/nginx/sites-enabled/enpanel-$name.conf" ;;
    apache) echo "/etc/apache2/conf-enabled/enpanel-$name.conf" ;;
    lighttpd) echo "/etc/lighttpd/conf-enabled/90-enpanel-$name.conf" ;;
  esac
}

# Where systemd keeps the units the operator installed (a test may move it).
units_folder() { echo "${KIT_SYSTEMD_UNITS:-/etc/systemd/system}"; }

# Takes away what the kit set up for the site (needs `conf`): its
# persistent processes, the link that enables it, the configuration and
# units the kit wrote, the link to the program in the CGI folder and the
# site's state file; then the server reads its configuration again (if it
# runs). The site's programs and data stay.
removal_line() {
  local files=("$(site_link)" "$conf" "$conf.enpanel-new" "$web/cgi-bin/enPanel" "$site/.install-site")
  local stop="" reload_units="" server_unit="$server" units unit
  [ "$server" = apache ] && server_unit=apache2
  if [ "$server/$mode" = nginx/fastcgi ]; then
    units=$(units_folder)
    for unit in "enpanel-$name.socket" "enpanel-$name@.service"; do
      files+=("$units/$unit" "$units/$unit.enpanel-new" "$web/systemd/$unit" "$web/systemd/$unit.enpanel-new")
    done
    unit="enpanel-$name.conf"
    files+=("$(supervisor_copy)" "$(supervisor_copy).enpanel-new" "$web/supervisor/$unit" "$web/supervisor/$unit.enpanel-new")
    if systemd_runs; then
      stop="systemctl disable --now enpanel-$name.socket $(site_units); "
      reload_units="systemctl daemon-reload && "
    else
      # supervisord, where it runs, lets the site's processes go once its
      # section is gone.
      reload_units="{ ! supervisorctl avail >/dev/null 2>&1 || supervisorctl update; } && "
      files+=("$socket")
    fi
  fi
  local quoted="" file
  for file in "${files[@]}"; do quoted+=" $(q "$file")"; done
  local take_back
  take_back=$(grants_taken_back)
  # The server reads its configuration again only if it runs.
  local reload="{ ! service $server_unit status >/dev/null 2>&1 || service $server_unit reload; }"
  systemd_runs && reload="systemctl try-reload-or-restart $server_unit"
  echo "${stop}${take_back}rm -f${quoted} && ${reload_units}${reload}"
}

# The lines that take back what --grant did in the site (from `granted`),
# each followed by " && "; nothing when it granted nothing. A path gone
# since has nothing to take back.
grants_taken_back() {
  local entry path line=""
  for entry in "${granted[@]}"; do
    path="${entry#* }"
    case "$entry" in
      "+t "*) line+="{ [ ! -d $(q "$path") ] || chmod -t $(q "$path"); } && " ;;
      "-R "*) line+="{ [ ! -e $(q "$path") ] || setfacl -R -x $(q "u:$user") $(q "$path"); } && " ;;
      *) line+="{ [ ! -e $(q "$path") ] || setfacl -x $(q "u:$user") $(q "$path"); } && " ;;
    esac
  done
  printf '%s' "$line"
}

# After the program is replaced: the line that starts the persistent
# processes on the new one, or nothing where nothing is to be done (CGI
# mode; mod_fcgid, which starts the new file for the next request).
upgrade_line() {
  case "$server/$mode" in
    nginx/fastcgi) restart_line ;;
    lighttpd/fastcgi) start_server lighttpd restart ;;
  esac
}

enable_line() {
  local link
  link=$(site_link)
  case "$server/$mode" in
    nginx/cgi)
      local fcgiwrap="service fcgiwrap restart"
      systemd_runs && fcgiwrap="systemctl restart fcgiwrap.socket fcgiwrap"
      if [ "$fcgiwrap_socket" != /run/fcgiwrap.socket ]; then
        fcgiwrap="spawn-fcgi -s $(q "$fcgiwrap_socket") -U www-data -G www-data -u www-data -g www-data -- /usr/sbin/fcgiwrap -f"
      fi
      echo "apt-get install -y fcgiwrap nginx && ln -sf $(q "$conf") $link && $fcgiwrap && $(start_server nginx reload)"
      ;;
    nginx/fastcgi)
      if systemd_runs; then
        echo "apt-get install -y nginx && install -m 0644 $(q "$web/systemd/enpanel-$name.socket") $(q "$web/systemd/enpanel-$name@.service") $(q "$(units_folder)")/ && systemctl daemon-reload && systemctl enable --now enpanel-$name.socket $(site_units) && ln -sf $(q "$conf") $link && $(start_server nginx reload)"
      else
        # supervisord reads its sections as it starts, and again when told to.
        local copy
        copy=$(supervisor_copy)
        echo "apt-get install -y nginx supervisor && install -m 0644 $(q "$web/supervisor/enpanel-$name.conf") $(q "$copy") && { service supervisor status >/dev/null 2>&1 || service supervisor start; } && { for i in \$(seq 50); do supervisorctl update enpanel-$name && break; sleep 0.2; false; done; } && ln -sf $(q "$conf") $link && $(start_server nginx reload)"
      fi
      ;;
    apache/cgi)
      # Enabling a module takes a restart, not a reload.
      echo "apt-get install -y apache2 && a2enmod cgid deflate && ln -sf $(q "$conf") $link && $(start_server apache2 restart)"
      ;;
    apache/fastcgi)
      echo "apt-get install -y apache2 libapache2-mod-fcgid && a2enmod fcgid deflate && ln -sf $(q "$conf") $link && $(start_server apache2 restart)"
      ;;
    lighttpd/*)
      echo "apt-get install -y lighttpd lighttpd-mod-deflate && ln -sf $(q "$conf") $link && $(start_server lighttpd restart)"
      ;;
  esac
}
