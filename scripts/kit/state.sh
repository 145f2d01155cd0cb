# What the install kit keeps: each site's settings, in SITE/.install-site
# (KEY=VALUE lines, written only by a run that completed), and, for the
# package's kit, the list of the sites it laid out (RECORDS/sites, a folder
# per line), which an upgrade of the package walks.

declare -A was=()

# read_state: the site's last complete run into `was`.
read_state() {
  state="$site/.install-site"
  was=()
  [ -f "$state" ] || return 0
  local key value
  while IFS='=' read -r key value; do [ -n "$key" ] && was[$key]="$value"; done <"$state"
}

# write_state: this run's settings, replaced in one step.
write_state() {
  {
    echo "server=$server"
    echo "mode=$mode"
    echo "page=$page"
    echo "user=$user"
    echo "web=$web"
    echo "port=$port"
    echo "address=$address"
    echo "socket=$socket_given"
    echo "fcgiwrap-socket=$fcgiwrap_socket"
    echo "processes=$processes"
  } >"$state.new"
  chmod 0644 "$state.new"
  if cmp -s "$state.new" "$state"; then rm -f "$state.new"; else mv -f "$state.new" "$state"; fi
}

# record_site RECORDS: adds the site to the list (once), replaced in one step.
record_site() {
  local records="$1" list="$1/sites"
  mkdir -p "$records"
  chmod 0755 "$records"
  if [ -f "$list" ] && grep -qxF -- "$site" "$list"; then return 0; fi
  { [ ! -f "$list" ] || cat "$list"; echo "$site"; } >"$list.new"
  chmod 0644 "$list.new"
  mv -f "$list.new" "$list"
}

# recorded_sites RECORDS: the sites on the list, one per line.
recorded_sites() {
  [ -f "$1/sites" ] && cat "$1/sites"
  return 0
}
