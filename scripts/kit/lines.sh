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

spawn_line() {
  echo "spawn-fcgi -s $(q "$socket") -M 0600 -U $(q "$user") -G $(q "$group") -u $(q "$user") -g $(q "$group") -F $processes -- $(q "$site/enPanel")"
}

# pkill and pgrep read the pattern as an extended regular expression that
# the whole command line must match: the program's path, its own
# characters taken literally.
program_pattern() {
  q "$(printf '%s' "$site/enPanel" | sed 's/[][\\.*^$|+?(){}]/\\&/g')"
}

# Starts the site's persistent processes whatever runs now (none, some or
# all of them): without systemd, the old ones are asked to end, waited for
# (a process ends once the request it is answering is answered, within the
# minute a slow server is given) and only then are new ones started, since
# spawn-fcgi refuses a socket that a process still listens on; a socket
# file left behind is taken over. A process that is ending no longer shows
# its command line but may hold the socket a moment longer (closing its
# change notices takes the kernel a while): spawn-fcgi is tried again for
# up to 10 s. With systemd, the units that are not
# running are started and the others restarted.
restart_line() {
  if systemd_runs; then
    echo "systemctl start enpanel-$name.socket && systemctl restart $(site_units)"
    return
  fi
  local pattern
  pattern=$(program_pattern)
  echo "{ pkill -TERM -xf $pattern; for i in \$(seq 300); do pgrep -xf $pattern >/dev/null || break; sleep 0.2; done; pkill -KILL -xf $pattern; for i in \$(seq 50); do $(spawn_line) && break; sleep 0.2; false; done; }"
}

# The link in the server's configuration folder that enables the site.
site_link() {
  case "$server" in
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
    if systemd_runs; then
      stop="systemctl disable --now enpanel-$name.socket $(site_units); "
      reload_units="systemctl daemon-reload && "
    else
      stop="pkill -TERM -xf $(program_pattern); "
      files+=("$socket")
    fi
  fi
  local quoted="" file
  for file in "${files[@]}"; do quoted+=" $(q "$file")"; done
  # The server reads its configuration again only if it runs.
  local reload="{ ! service $server_unit status >/dev/null 2>&1 || service $server_unit reload; }"
  systemd_runs && reload="systemctl try-reload-or-restart $server_unit"
  echo "${stop}rm -f${quoted} && ${reload_units}${reload}"
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
        echo "apt-get install -y nginx spawn-fcgi && $(restart_line) && ln -sf $(q "$conf") $link && $(start_server nginx reload)"
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
