#!/usr/bin/env bash
# scripts/install-site: the layout and its rights, an upgrade that changes
# nothing but the program, and refusals that change nothing.
#   install_site_test.sh ENPANEL MAKE_SITE
# Needs root (install-site gives the program and the folders their owners).
set -uo pipefail
enpanel="$(realpath "$1")"
make_site="$(realpath "$2")"
here="$(cd "$(dirname "$0")/.." && pwd)"
if [ "$(id -u)" -ne 0 ]; then
  echo "SKIPPED: needs root (install-site gives the program and the folders their owners)"
  exit 77
fi
work=$(mktemp -d)
chmod 755 "$work"
trap 'rm -rf "$work"' EXIT
passed=0 failed=0
check() {
  local name="$1"; shift
  if "$@"; then passed=$((passed + 1)); echo "ok: $name"; else failed=$((failed + 1)); echo "FAILED: $name"; fi
}
install() { bash "$here/scripts/install-site" --program "$enpanel" --web "$work/web" --port 8099 "$@"; }
snapshot() { (cd "$1" && find . -printf '%p %u %g %m %s %T@\n' | sort); }

"$make_site" "$work/books" --books 12 >/dev/null
install --site "$work/site" --server apache --books "$work/books" >"$work/out" 2>&1
check "a first install succeeds" test $? = 0
check "it prints the one step that enables the server" grep -q 'a2enmod cgid && ln -sf' "$work/out"
check "the program is root's and only root writes it" test "$(stat -c '%U %a' "$work/site/enPanel")" = "root 755"
check "the site folder: root's, group www-data with write, sticky" test "$(stat -c '%U %G %a' "$work/site")" = "root www-data 1775"
check "Statistics/ is the account's" test "$(stat -c %U "$work/site/Statistics")" = www-data
check "the CGI folder holds a link to the program" test "$(readlink "$work/web/cgi-bin/enPanel")" = "$work/site/enPanel"
check "the books were copied" test -f "$work/site/fulltxt/ARQUR.TXT"
check "the configuration names the site's folders" grep -q "ScriptAliasMatch \"^/cgi-bin/enPanel(.*)\$\" \"$work/web/cgi-bin/enPanel\$1\"" "$work/web/enpanel-apache.conf"

# What requests make, then an upgrade: only the program changes.
(cd "$work/site" && setpriv --reuid=www-data --regid=www-data --init-groups \
  env -i SERVER_PROTOCOL=HTTP/1.1 ./enPanel >/dev/null)
check "the account can keep the headers file" test -f "$work/site/Hdrs1020.TXT"
echo "operator's note" >"$work/books/fulltxt/NOTE.TXT"
before=$(snapshot "$work/site" | grep -Ev '^(\.|\./enPanel|\./enPanel-check) ')
install --site "$work/site" --server apache >"$work/out" 2>&1
check "a second run upgrades the program" grep -q 'program upgraded' "$work/out"
check "and changes nothing else" test "$(snapshot "$work/site" | grep -Ev '^(\.|\./enPanel|\./enPanel-check) ')" = "$before"

# Refusals, each with a message and nothing changed.
mkdir -p "$work/other"
echo "mine" >"$work/other/index.html"
before=$(snapshot "$work/other")
install --site "$work/other" --server nginx >"$work/out" 2>&1
check "a folder with other files is refused (exit $?)" grep -q 'holds "index.html"' "$work/out"
check "and left as it was" test "$(snapshot "$work/other")" = "$before"
install --site "$work/new" --server nginx --user nosuchaccount >"$work/out" 2>&1
check "an unknown account is refused" grep -q 'no such account: nosuchaccount' "$work/out"
install --site "$work/new" --server iis >"$work/out" 2>&1
check "an unknown server is refused" grep -q 'unknown server "iis"' "$work/out"
check "nothing was made for the refused installs" test ! -e "$work/new"
# The site check's answers: 0 sound, 1 problems, 2 bad usage.
"$work/site/enPanel-check" "$work/site" --user www-data >/dev/null
check "the site check: a sound site gives 0" test $? = 0
chown root: "$work/site/Statistics"
"$work/site/enPanel-check" "$work/site" --user www-data >"$work/out"
check "the site check: a Statistics/ the account cannot write gives 1" test $? = 1
check "and says so" grep -q 'PROBLEM: Account www-data cannot write Statistics/' "$work/out"
"$work/site/enPanel-check" "$work/nowhere" 2>"$work/out"
check "the site check refuses a folder that does not exist" test $? = 2
"$work/site/enPanel-check" 2>/dev/null
check "the site check without a folder is bad usage" test $? = 2
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
