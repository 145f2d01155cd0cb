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
  # pkill and pgrep read the pattern as an extended regular expression that
  # the whole command line must match: the program's path, its own
  # characters taken literally.
  local pattern
  pattern=$(q "$(printf '%s' "$site/enPanel" | sed 's/[][\\.*^$|+?(){}]/\\&/g')")
  echo "{ pkill -TERM -xf $pattern; for i in \$(seq 300); do pgrep -xf $pattern >/dev/null || break; sleep 0.2; done; pkill -KILL -xf $pattern; for i in \$(seq 50); do $(spawn_line) && break; sleep 0.2; false; done; }"
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
  case "$server/$mode" in
    nginx/cgi)
      link="/etc/nginx/sites-enabled/enpanel-$name.conf"
      local fcgiwrap="service fcgiwrap restart"
      systemd_runs && fcgiwrap="systemctl restart fcgiwrap.socket fcgiwrap"
      if [ "$fcgiwrap_socket" != /run/fcgiwrap.socket ]; then
        fcgiwrap="spawn-fcgi -s $(q "$fcgiwrap_socket") -U www-data -G www-data -u www-data -g www-data -- /usr/sbin/fcgiwrap -f"
      fi
      echo "apt-get install -y fcgiwrap nginx && ln -sf $(q "$conf") $link && $fcgiwrap && $(start_server nginx reload)"
      ;;
    nginx/fastcgi)
      link="/etc/nginx/sites-enabled/enpanel-$name.conf"
      if systemd_runs; then
        echo "apt-get install -y nginx && install -m 0644 $(q "$web/systemd/enpanel-$name.socket") $(q "$web/systemd/enpanel-$name@.service") /etc/systemd/system/ && systemctl daemon-reload && systemctl enable --now enpanel-$name.socket $(site_units) && ln -sf $(q "$conf") $link && $(start_server nginx reload)"
      else
        echo "apt-get install -y nginx spawn-fcgi && $(restart_line) && ln -sf $(q "$conf") $link && $(start_server nginx reload)"
      fi
      ;;
    apache/cgi)
      link="/etc/apache2/conf-enabled/enpanel-$name.conf"
      # Enabling a module takes a restart, not a reload.
      echo "apt-get install -y apache2 && a2enmod cgid deflate && ln -sf $(q "$conf") $link && $(start_server apache2 restart)"
      ;;
    apache/fastcgi)
      link="/etc/apache2/conf-enabled/enpanel-$name.conf"
      echo "apt-get install -y apache2 libapache2-mod-fcgid && a2enmod fcgid deflate && ln -sf $(q "$conf") $link && $(start_server apache2 restart)"
      ;;
    lighttpd/*)
      link="/etc/lighttpd/conf-enabled/90-enpanel-$name.conf"
      echo "apt-get install -y lighttpd lighttpd-mod-deflate && ln -sf $(q "$conf") $link && $(start_server lighttpd restart)"
      ;;
  esac
}
