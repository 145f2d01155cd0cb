# What the web account must be able to do in a site that is already there,
# judged by the kernel itself (test(1) run as the account, so that
# access-control lists count as they do for the program), and the
# access-control entries that grant what it lacks. The kit never changes an
# owner or a group of what it did not make, nor a mode but one: a site
# folder the account is granted to write gets the sticky bit, so that the
# account may make and replace its own files there but never rename,
# replace or remove another's (the sibling programs, the site check). What
# --grant did is recorded in the site's state before it is done, and
# --remove takes it back.

as_account() { setpriv --reuid="$user" --regid="$group" --init-groups "$@"; }
account_can() { as_account test "$1" "$2" 2>/dev/null; }  # TEST PATH
described() { stat -c '%U:%G %A' "$1"; }

# lacking WHAT PATH RIGHTS [-R]: one right the account lacks, and the line
# that grants it (recorded in `to_grant` as "-R PATH" or "- PATH").
lacking() {
  lacks+=("$1 ($2: $(described "$2"))")
  local recursive=""
  [ "${4:-}" = -R ] && recursive="-R "
  grants+=("setfacl ${recursive}-m $(q "u:$user:$3") $(q "$2")")
  to_grant+=("${4:--} $2")
}

# sticky_with_grant FOLDER: a folder the account is granted to write gets
# the sticky bit where it has none (the sibling programs and their files
# stay out of the account's reach).
sticky_with_grant() {
  has_sticky_bit "$1" && return 0
  grants+=("chmod +t $(q "$1")  # the sticky bit: the account cannot rename or remove another's files there")
  to_grant+=("+t $1")
}

has_sticky_bit() { local mode; mode=$(stat -c %a "$1"); [ "${#mode}" = 4 ] && [ $((${mode:0:1} & 1)) = 1 ]; }

# check_rights: fills `lacks` and `grants` (what can be granted) and
# `ungrantable` (what no entry can grant).
check_rights() {
  lacks=() grants=() ungrantable=() to_grant=()
  [ "$fresh_site" = 0 ] || return 0  # the kit makes the folder, with the rights it needs
  local up="$site" way=()
  while [ "$up" != / ]; do
    up=$(dirname "$up")
    way=("$up" "${way[@]}")
  done
  for up in "${way[@]}"; do
    account_can -x "$up" || lacking "reach the site folder through $up" "$up" x
  done
  local entry sticky=0
  has_sticky_bit "$site" && sticky=1
  if ! { account_can -w "$site" && account_can -x "$site"; }; then
    lacking "make and replace the headers file and its backup in the site folder" "$site" rwx
    sticky_with_grant "$site"
    sticky=1
  fi
  while IFS= read -r -d '' entry; do
    account_can -r "$entry" || lacking "read the headers file ${entry##*/}" "$entry" r
    if [ "$sticky" = 1 ] &&
       [ "$(stat -c %u "$entry")" != "$(id -u "$user")" ] && [ "$(stat -c %u "$site")" != "$(id -u "$user")" ]; then
      ungrantable+=("replace ${entry##*/} ($entry: $(described "$entry")): in a site folder with the sticky bit only the file's owner may; no access-control entry can grant that (make it the account's: chown $(q "$user") $(q "$entry"))")
    fi
  done < <(find "$site" -mindepth 1 -maxdepth 1 \( -iname 'hdrs*.txt' -o -iname 'hdrs*.bak' \) -print0)
  local stats
  stats=$(entry_any_case "$site" Statistics)
  if [ -n "$stats" ]; then
    if ! { account_can -w "$site/$stats" && account_can -x "$site/$stats"; }; then
      lacking "write Statistics/ (session markers, the counter and the log)" "$site/$stats" rwx
      sticky_with_grant "$site/$stats"
    fi
    local today
    today=$(date +%Y-%m-%d)
    for entry in "$site/$stats/\$enPanel\$$today.ctr" "$site/$stats/\$enPanel\$$today.log"; do
      if [ -L "$entry" ] || { [ -f "$entry" ] && [ "$(stat -c %h "$entry")" != 1 ]; }; then
        ungrantable+=("today's ${entry##*.} file $entry is a link or has a second name: the kit grants nothing through it (the account could have put it there)")
        continue
      fi
      [ -f "$entry" ] || continue
      { account_can -w "$entry" && account_can -r "$entry"; } || lacking "read and write today's ${entry##*.} file" "$entry" rw
    done
  fi
  local part actual unreadable
  for part in fulltxt fullindexes; do
    actual=$(entry_any_case "$site" "$part")
    [ -n "$actual" ] || continue
    # A folder linked from elsewhere (a home folder) is reached through
    # folders of its own.
    if ! { account_can -r "$site/$actual" && account_can -x "$site/$actual"; }; then
      local real way_up=""
      real=$(realpath -m "$site/$actual")
      up="$real"
      while [ "$up" != / ]; do
        up=$(dirname "$up")
        account_can -x "$up" || way_up="$up"
      done
      if [ -n "$way_up" ]; then
        lacking "reach the book folder $actual/ (in $real) through $way_up" "$way_up" x
        continue
      fi
    fi
    unreadable=$(as_account find -L "$site/$actual" \( -type d \( ! -readable -o ! -executable \) \) -print -quit \
      -o \( ! -type d ! -readable \) -print -quit 2>/dev/null) || unreadable="$site/$actual"
    [ -z "$unreadable" ] || lacking "read the book folder $actual/ and its files (${unreadable#"$site/"} is one it cannot)" "$site/$actual" rX -R
  done
}

# settle_rights: what the account lacks is granted with --grant; without
# it, a first layout changes nothing, names what is lacking with the lines
# that grant it and exits 2, and a later run (an upgrade) says it and goes
# on.
settle_rights() {
  check_rights
  [ ${#lacks[@]} -gt 0 ] || [ ${#ungrantable[@]} -gt 0 ] || return 0
  local line
  if [ -n "${given[grant]:-}" ] && [ ${#ungrantable[@]} -eq 0 ]; then
    command -v setfacl >/dev/null ||
      die "--grant: setfacl is needed to grant rights as access-control entries (apt-get install acl); nothing changed"
    record_grants "${to_grant[@]}"
    for line in "${grants[@]}"; do
      say "granting: $line"
      bash -c "${line%%  #*}" || die "--grant: this did not grant it (does the file system keep access-control lists?): $line"
      step_done grant
    done
    check_rights
    [ ${#lacks[@]} -eq 0 ] || die "--grant: the account still cannot ${lacks[0]}"
    return 0
  fi
  {
    echo "install-site: the account $user cannot do what the program needs in $site:"
    for line in "${lacks[@]}" "${ungrantable[@]}"; do echo "  $line"; done
    if [ ${#grants[@]} -gt 0 ]; then
      echo "These lines grant it as access-control entries for $user (owners and groups, and the rights of owners, groups and others, stay as they are); or run again with --grant:"
      for line in "${grants[@]}"; do echo "  $line"; done
    fi
  } >&2
  if [ -n "${was[server]:-}" ] && [ -z "${given[grant]:-}" ]; then
    say "the site's files are left as they are; its check names the same: $site/enPanel-check $site --user $user" >&2
    return 0
  fi
  echo "install-site: nothing changed" >&2
  exit 2
}

# check_way OPTION PATH: PATH and the folders above it as root will walk
# them. Where the account may write a folder on the way (one without the
# sticky bit, or one with it where the next folder is not root's), it could
# put a folder or a link of its own in the next one's place, and root would
# act through what it chose: refused before anything changes.
check_way() {
  local option="$1" path="$2" up child
  child="$path"
  up=$(dirname "$path")
  while :; do
    if [ -d "$up" ] && account_can -w "$up" && account_can -x "$up"; then
      if ! has_sticky_bit "$up" || [ -L "$child" ] || [ ! -e "$child" ] ||
         [ "$(stat -c %u "$child")" != 0 ]; then
        die "$option $path: the account $user may write $up, so it could put a folder or a link of its own in the place of $child; nothing changed (a place the account cannot write, please)"
      fi
    fi
    [ "$up" != / ] || break
    child="$up"
    up=$(dirname "$up")
  done
}

# check_web_folder: the web folder and the folders the kit writes in it are
# root's alone: refused where the account may write one of them.
check_web_folder() {
  check_way --web "$web"
  local folder
  for folder in "$web" "$web/cgi-bin" "$web/cgi-bin/images" "$web/cgi-bin/images/keyboard" \
      "$web/htdocs" "$web/htdocs/images" "$web/systemd" "$web/supervisor"; do
    if [ -L "$folder" ] || { [ -d "$folder" ] && account_can -w "$folder"; }; then
      die "--web $web: $folder is a link or the account $user may write it; the kit writes the server's configuration there as root; nothing changed (a web folder only root writes, please)"
    fi
  done
}
