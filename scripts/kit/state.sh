# What the install kit keeps: each site's settings, in SITE/.install-site
# (KEY=VALUE lines, written only by a run that completed; a "written" line
# per file the kit wrote for the site, with its checksum), and, for the
# package's kit, the list of the sites it laid out (RECORDS/sites, a folder
# per line), which an upgrade of the package walks, and the line that takes
# each site's server setup away (RECORDS/removals, the folder, a tab, the
# line), which purging the package prints for the sites that remain.

declare -A was=()
# What --grant did in the site, one "-R PATH", "- PATH" or "+t PATH" each:
# kept in the state from before it is done until --remove takes it back.
declare -a granted=()

# read_state: the site's last complete run into `was`.
read_state() {
  state="$site/.install-site"
  was=()
  # The web account may make names in a site folder: a record that is a
  # link, or not root's own file, is none of the kit's.
  if [ -L "$state" ] || { [ -e "$state" ] && { [ ! -f "$state" ] || [ "$(stat -c %u "$state")" != 0 ]; }; }; then
    die "$state is not the kit's record (a link, or not a file of root's): its settings cannot be trusted; nothing changed (remove it, then run the kit with the site's options)"
  fi
  [ -f "$state" ] || return 0
  local key value
  while IFS='=' read -r key value; do
    case "$key" in
      written) written_before[${value#* }]="${value%% *}" ;;
      granted) granted+=("$value") ;;
      ?*) was[$key]="$value" ;;
    esac
  done <"$state"
}

# write_state: this run's settings, replaced in one step (made in the
# run's own folder, which only root may enter).
write_state() {
  (
  enter_stage
  {
    echo "server=$server"
    echo "name=$name"
    echo "mode=$mode"
    echo "page=$page"
    echo "user=$user"
    echo "web=$web"
    echo "port=$port"
    echo "address=$address"
    echo "socket=$socket_given"
    echo "fcgiwrap-socket=$fcgiwrap_socket"
    echo "processes=$processes"
    echo "program=$recorded_program"
    local line
    for line in "${written_now[@]}"; do echo "written=$line"; done
    for line in "${granted[@]}"; do echo "granted=$line"; done
  } >./state
  chmod 0644 ./state
  if cmp -s ./state "$state"; then rm -f ./state; else mv -fT ./state "$state"; fi
  )
}

# record_grants WHAT...: grants about to be made, added to the state as it
# stands (or to a state of their own before a first complete run), so that
# a run interrupted while granting leaves them recorded.
record_grants() {
  granted+=("$@")
  [ -n "${stage:-}" ] || make_stage
  (
  enter_stage
  { if [ -f "$state" ]; then grep -v '^granted=' "$state"; else echo "user=$user"; fi
    local line
    for line in "${granted[@]}"; do echo "granted=$line"; done; } >./state
  chmod 0644 ./state
  mv -fT ./state "$state"
  )
}

# replace_list FILE: standard input in FILE's place, in one step.
replace_list() {
  cat >"$1.new"
  chmod 0644 "$1.new"
  mv -f "$1.new" "$1"
}

# record_site RECORDS REMOVAL: adds the site to the list (once) and keeps
# the line that takes its setup away.
record_site() {
  local records="$1" list="$1/sites" tab=$'\t'
  mkdir -p "$records"
  chmod 0755 "$records"
  if [ ! -f "$list" ] || ! grep -qxF -- "$site" "$list"; then
    { [ ! -f "$list" ] || cat "$list"; echo "$site"; } | replace_list "$list"
  fi
  { [ ! -f "$records/removals" ] || awk -F '\t' -v s="$site" '$1 != s' "$records/removals"
    echo "$site$tab$2"; } | replace_list "$records/removals"
}

# forget_site RECORDS: the site off both lists.
forget_site() {
  local records="$1"
  [ ! -f "$records/sites" ] || awk -v s="$site" '$0 != s' "$records/sites" | replace_list "$records/sites"
  [ ! -f "$records/removals" ] || awk -F '\t' -v s="$site" '$1 != s' "$records/removals" | replace_list "$records/removals"
}

# recorded_sites RECORDS: the sites on the list, one per line.
recorded_sites() {
  [ -f "$1/sites" ] && cat "$1/sites"
  return 0
}
