#!/usr/bin/env bash
# The Windows installer as an operator uses it, under Wine: scripts/package
# builds it; one msiexec installs the programs into Program Files (no file
# there from two components); enpanel-install-site.exe lays out two IIS
# sites from them, one with the page for today's browsers, records both and
# changes nothing else in their folders (the sibling programs and their
# statistics stay as they were); --page switches a site's page; the legacy
# page's enPanel.exe writes the Linux program's bytes as a CGI program and
# through a named pipe as IIS drives it; the event source is in the
# registry as an expandable value naming the installed program, and an
# operator line reaches ReportEventW. A newer installer (scripts/package
# msi --version) upgrades both sites, each keeping its page, and lays out
# the site an earlier installer had been installed into; msiexec /x removes
# the programs and the records, and both sites still serve.
# The site tool keeps a site's own program (--restore puts it back), its own
# web.config (enPanel's beside it) and its page across an uninstall; runs at
# once on one site leave it whole; it refuses folders that are no site's.
# An upgrade while the sites' programs run: the installer's log names each
# site's outcome, one program held so it cannot be renamed waits for the
# next start (--list says so), and nothing of the replaced program stays.
#   windows_msi.sh LINUX_BUILD_DIR DRIVER_EXE HOLD_EXE
set -uo pipefail
linux_build="$1" driver="$2" hold="$3"
here="$(cd "$(dirname "$0")/.." && pwd)"
source "$here/scripts/lib.sh"
need wine winepath wixl msibuild msiinfo
work=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT

# What an earlier run of this test may have left: an installation (each
# build of the installer has a product code of its own) and the registry.
uninstall='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
for product in $(wine reg query "$uninstall" /s /reg:64 2>/dev/null | tr -d '\r' |
  awk '/^HKEY/ { key = $0 } /DisplayName +REG_SZ +enPanel$/ { sub(/.*\\/, "", key); print key }'); do
  wine msiexec /x "$product" /qn >/dev/null 2>&1
done
wine reg delete 'HKLM\SOFTWARE\enPanel' /f /reg:64 >/dev/null 2>&1
msi=$("$here/scripts/package" msi | tail -n 1)
check "scripts/package built the installer ($(basename "$msi"))" test -s "$msi"
windows_build="$here/build/windows"
key='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\enPanel'
sites_key='HKLM\SOFTWARE\enPanel\Sites'
version=$(sed -n 's/^project(enPanel VERSION \([0-9.]*\) .*/\1/p' "$here/CMakeLists.txt")

msiexec() { wine msiexec "$@" >>"$work/msiexec.log" 2>&1; }
install_site() { wine "$programs/enpanel-install-site.exe" "$@" >>"$work/install-site.log" 2>&1; }
request() {  # FOLDER PROGRAM OUTPUT [HOST]
  (cd "$1" && env -i PATH="$PATH" HOME="$HOME" WINEPREFIX="$WINEPREFIX" WINEDEBUG="${WINEDEBUG:-}" \
    SERVER_PROTOCOL=HTTP/1.1 REQUEST_METHOD=GET HTTP_HOST="${4:-localhost}" REMOTE_ADDR=127.0.0.1 \
    $2 >"$3" 2>>"$work/request.err")
}
reg_value() {  # KEY NAME: the value's type and data, as reg prints them
  wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | awk -v n="$2" '$1 == n { $1 = ""; sub(/^ +/, ""); print }'
}
# Each entry but those the tool adds (its two programs, its state, the
# program it kept, enPanel's web.config where the site had none): names, and
# each file's size, time and bytes (a folder's time changes as they come).
snapshot() {  # FOLDER [NAME]: NAME left out too
  local out=(! -name enPanel.exe ! -name enPanel-check.exe ! -name .install-site
    ! -name enPanel.exe.before-enpanel ! -name web.config.enpanel-new ! -name "${2:-enPanel.exe}")
  (cd "$1" && find . -mindepth 1 "${out[@]}" \( -type d -printf '%p/\n' -o -printf '%p %s %T@\n' \) | sort &&
    find . -type f "${out[@]}" -exec sha256sum {} + | sort)
}
# Whether the file holds each of the lines' texts, as they are.
holds() {  # FILE TEXT...
  local file="$1" text
  shift
  for text in "$@"; do grep -qF -- "$text" "$file" || return 1; done
}
# Whether IIS 10 as it comes accepts each web.config given.
iis_accepts() { "$linux_build/tests/iis_config_check" "$here/tests/iis_sections.txt" "$@" >/dev/null; }

# Files by the folder they go to: none may come from two components.
msiinfo export "$msi" File | tail -n +4 | awk -F '\t' '{ print $2 "\t" $3 }' | sort >"$work/files"
msiinfo export "$msi" Component | tail -n +4 | awk -F '\t' '{ print $1 "\t" $3 }' | sort >"$work/components"
twice=$(join -t $'\t' "$work/files" "$work/components" | awk -F '\t' '{ print $3 "\\" $2 }' | sort | uniq -d)
check "no file is installed by two components ($twice)" test -z "$twice"
# Each program with its version, in the installer's table and in itself.
unversioned=$(msiinfo export "$msi" File | tr -d '\r' | tail -n +4 |
  awk -F '\t' -v v="$version.0" '$3 ~ /\.exe$/ && $5 != v { print $3 }')
check "every program's version in the installer's File table (${unversioned:-all} $version.0)" test -z "$unversioned"
check "and in its version resource" \
  sh -c "for p in enPanel enPanel-todays enPanel-check enpanel-install-site; do
           strings -el '$windows_build/'\$p.exe | grep -qx '$version' || exit 1; done"

# Two IIS sites as they are on a server: books, and the sibling programs
# with their statistics; a Linux twin of the first.
for side in site1 site2 twin; do
  mkdir -p "$work/$side"
  "$linux_build/make_site" "$work/$side" --books 40 >/dev/null
done
for side in site1 site2; do
  mkdir -p "$work/$side/Statistics"
  for program in arPanel qryGate txtView; do
    printf 'MZ %s\n' "$program" >"$work/$side/$program.exe"
    printf '3\r\n' >"$work/$side/Statistics/\$$program\$2025-03-01.ctr"
  done
done
cp "$linux_build/enPanel" "$work/twin/enPanel"
# The old program in the first site; the second has a web.config of its own.
printf 'MZ the old enPanel\n' >"$work/site1/enPanel.exe"
printf '<configuration><system.webServer><defaultDocument enabled="true" /></system.webServer></configuration>\r\n' \
  >"$work/site2/web.config"
siblings() { (cd "$1" && find . \( -name '*arPanel*' -o -name '*qryGate*' -o -name '*txtView*' \) -printf '%p %s %T@\n' | sort); }
siblings2=$(siblings "$work/site2")
before1=$(snapshot "$work/site1" web.config)
before2=$(snapshot "$work/site2")

msiexec /i "$(winepath -w "$msi")" /qn
programs=$(winepath -u 'C:\Program Files\enPanel')
check "msiexec installed the programs into Program Files" \
  sh -c "cmp -s '$programs/enPanel.exe' '$windows_build/enPanel.exe' &&
         cmp -s '$programs/todays/enPanel.exe' '$windows_build/enPanel-todays.exe' &&
         cmp -s '$programs/enPanel-check.exe' '$windows_build/enPanel-check.exe' &&
         cmp -s '$programs/enpanel-install-site.exe' '$windows_build/enpanel-install-site.exe'"
check "with the README and both IIS files" \
  sh -c "test -s '$programs/README-IIS.txt' &&
         cmp -s '$programs/iis/web.config' '$here/deploy/iis/web.config' &&
         cmp -s '$programs/iis/web-fastcgi.config' '$here/deploy/iis/web-fastcgi.config'"
source_file=$(reg_value "$key" EventMessageFile)
check "the event source is registered, expandable, with the installed program ($source_file)" \
  sh -c "[ '${source_file%% *}' = REG_EXPAND_SZ ] &&
         [ \"\$(winepath -u '${source_file#* }' 2>/dev/null)\" = '$programs/enPanel.exe' ]"

# IIS's own configuration names the first site's folder (as %SystemDrive%
# would write it, here the drive Wine gives /): the printed lines name the site.
iis_config="$(winepath -u 'C:\windows\system32')/inetsrv/config"
mkdir -p "$iis_config"
printf '<configuration><system.applicationHost><sites>\r\n<site name="Kutubix" id="2">\r\n<application path="/">\r\n<virtualDirectory path="/" physicalPath="%s" />\r\n</application></site></sites></system.applicationHost></configuration>\r\n' \
  "$(winepath -w "$work")" >"$iis_config/applicationHost.config"
install_site --site "$(winepath -w "$work/site1")"
rm -rf "$iis_config"
install_site --site "$(winepath -w "$work/site2")" --page todays
check "enpanel-install-site.exe lays out a site with the page as it always was" \
  sh -c "cmp -s '$work/site1/enPanel.exe' '$windows_build/enPanel.exe' &&
         cmp -s '$work/site1/enPanel-check.exe' '$windows_build/enPanel-check.exe'"
check "and one with the page for today's browsers" cmp -s "$work/site2/enPanel.exe" "$windows_build/enPanel-todays.exe"
page2=$(wine reg query "$sites_key" 2>/dev/null | tr -d '\r' | grep -F "$(winepath -w "$work/site2") " | awk '{ print $(NF - 1), $NF }')
check "both recorded with their pages ($page2)" \
  sh -c "[ \"\$(wine reg query '$sites_key' 2>/dev/null | grep -c 'REG_SZ')\" = 2 ] && [ '$page2' = 'REG_SZ todays' ]"
check "and nothing else in either folder changed: the siblings and their statistics" \
  test "$(snapshot "$work/site1" web.config)" = "$before1" -a "$(snapshot "$work/site2")" = "$before2"
check "the old program kept as enPanel.exe.before-enpanel" \
  sh -c "printf 'MZ the old enPanel\n' | cmp -s - '$work/site1/enPanel.exe.before-enpanel'"
check "a web.config IIS 10 accepts as it comes (and enPanel's beside the site's own)" \
  iis_accepts "$work/site1/web.config" "$work/site2/web.config.enpanel-new"
check "naming the site's own program" grep -qF "$(winepath -w "$work/site1")\enPanel.exe" "$work/site1/web.config"
check "the lines printed name the site as IIS knows it" \
  grep -q 'set config "Kutubix/site1" -section:system.webServer/cgi' "$work/install-site.log"
check "the site's own web.config kept, enPanel's beside it and named" \
  sh -c "grep -q 'defaultDocument' '$work/site2/web.config' && grep -q 'web.config.enpanel-new' '$work/install-site.log'"

for round in first second; do
  request "$work/site1" "wine enPanel.exe" "$work/windows.$round"
  request "$work/twin" ./enPanel "$work/linux.$round"
  check "as a CGI program, the $round request: the Linux program's bytes ($(wc -c <"$work/linux.$round"))" \
    cmp -s "$work/windows.$round" "$work/linux.$round"
done
check "the headers files alike" cmp -s "$work/site1/Hdrs1020.TXT" "$work/twin/Hdrs1020.TXT"
request "$work/site2" "wine enPanel.exe" "$work/todays.page"
check "the second site's page is today's" grep -q 'CURSOR:pointer' "$work/todays.page"

echo "SERVER_PROTOCOL=HTTP/1.1|REQUEST_METHOD=GET|HTTP_HOST=localhost|REMOTE_ADDR=127.0.0.1" >"$work/requests"
request "$work/twin" ./enPanel "$work/linux.third"
wine "$driver" "$(winepath -w "$work/site1/enPanel.exe")" "$(winepath -w "$work/requests")" \
  "$(winepath -w "$work/pipe")" >/dev/null 2>"$work/driver.err"
check "through IIS's named pipe: the Linux program's bytes" cmp -s "$work/pipe.1" "$work/linux.third"

# A visit that cannot be counted: the line goes to the event log too.
mv "$work/site1/Statistics" "$work/Statistics.kept"
: >"$work/request.err"
echo "not a folder" >"$work/site1/Statistics"
WINEDEBUG=-all,+eventlog request "$work/site1" "wine enPanel.exe" /dev/null
tr -d '\r' <"$work/request.err" | sed -n 's/^enPanel: //p' >"$work/lines"
# Wine writes the string as a wide-string literal, backslashes doubled.
sed -n 's/^[0-9a-f]*:warn:eventlog:ReportEventW L"\(.*\)"$/\1/p' "$work/request.err" | sed 's/\\\\/\\/g' >"$work/reported"
check "an operator line reached ReportEventW ($(head -n 1 "$work/lines"))" \
  sh -c "test -s '$work/lines' && cmp -s '$work/lines' '$work/reported'"
rm "$work/site1/Statistics"
mv "$work/Statistics.kept" "$work/site1/Statistics"

install_site --site "$(winepath -w "$work/site1")" --page todays
check "--page switches a site's page" cmp -s "$work/site1/enPanel.exe" "$windows_build/enPanel-todays.exe"
install_site --site "$(winepath -w "$work/site1")" --page legacy
check "and back" cmp -s "$work/site1/enPanel.exe" "$windows_build/enPanel.exe"

# The site check asks Windows what an account may do (Wine gives a
# folder's Unix mode as its access-control list).
site_check() { wine "$work/site1/enPanel-check.exe" --user "$1" "$(winepath -w "$work/site1")" >"$work/check.out" 2>&1; }
site_check nobody-such
status=$?
check "the site check knows no account that is not there (exit $status)" \
  sh -c "[ $status = 2 ] && grep -q 'no such account' '$work/check.out'"
chmod 555 "$work/site1/Statistics"
site_check "$(id -un)"
status=$?
chmod 755 "$work/site1/Statistics"
check "a Statistics folder the account cannot write is a problem, with its icacls line (exit $status)" \
  sh -c "[ $status = 1 ] && grep -q 'cannot write Statistics' '$work/check.out' &&
         grep -q 'mend: icacls .*Statistics /grant \"$(id -un):(OI)(CI)(M)\"' '$work/check.out'"
site_check "$(id -un)"
check "and one it can write is sound" grep -q 'The site is sound' "$work/check.out"
# A Statistics\ on a read-only volume, which its access-control list
# allows: only a file really made there tells. Root, for a read-only mount
# of its own in a mount namespace; a Wine prefix of its own, so that its
# Wine server starts there (and the others' tests keep theirs).
stats_w=$(winepath -w "$work/site1") me=$(id -un)
if [ "$(id -u)" = 0 ] && unshare -m true 2>/dev/null; then
  unshare -m sh -c "mount --bind '$work/site1/Statistics' '$work/site1/Statistics' &&
    mount -o remount,bind,ro '$work/site1/Statistics' &&
    { WINEPREFIX='$work/prefix' WINEDLLOVERRIDES='mscoree,mshtml=' wine '$work/site1/enPanel-check.exe' \
        --user '$me' '$stats_w' >'$work/check.out' 2>&1; echo \$? >'$work/check.status'; }
    WINEPREFIX='$work/prefix' wineserver -k"
  check "a Statistics folder on a read-only volume is no sound site (exit $(cat "$work/check.status" 2>/dev/null))" \
    sh -c "[ \"\$(cat '$work/check.status')\" = 1 ] && ! grep -q 'The site is sound' '$work/check.out' &&
           grep -q 'cannot write Statistics' '$work/check.out'"
  rm -rf "$work/prefix"
else
  echo "skipped: a read-only Statistics folder (needs root and mount namespaces)"
fi

# Six runs at once on one site, pages alternating, three rounds: after each
# the site is whole, its program the page recorded last (in the site and in
# the registry), and it answers with that page.
site_whole() {  # ROUND
  local page program="$windows_build/enPanel.exe" cursor=hand record
  page=$(tr -d '\r' <"$work/site1/.install-site" | sed -n 's/^page=//p')
  if [ "$page" = todays ]; then program="$windows_build/enPanel-todays.exe" cursor=pointer; fi
  record=$(wine reg query "$sites_key" 2>/dev/null | tr -d '\r' | grep -F "$(winepath -w "$work/site1") " | awk '{ print $NF }')
  request "$work/site1" "wine enPanel.exe" "$work/round.$1"
  cmp -s "$work/site1/enPanel.exe" "$program" && [ "$record" = "$page" ] &&
    cmp -s "$work/site1/enPanel-check.exe" "$windows_build/enPanel-check.exe" &&
    ! ls -a "$work/site1" | grep -q '^~enPanel' && grep -q 'Status: 200' "$work/round.$1" &&
    grep -q "CURSOR:$cursor" "$work/round.$1"
}
for round in 1 2 3; do
  runs=()
  for i in 1 2 3 4 5 6; do
    page=legacy; [ $(((i + round) % 2)) -eq 0 ] && page=todays
    install_site --site "$(winepath -w "$work/site1")" --page "$page" & runs+=($!)
  done
  failed_runs=0
  for i in "${runs[@]}"; do wait "$i" || failed_runs=$((failed_runs + 1)); done
  check "six runs at once on one site, round $round: each done ($failed_runs failed)" sh -c "[ $failed_runs = 0 ]"
  check "and the site whole, its program the page recorded last, answering with it" site_whole "$round"
done
install_site --site "$(winepath -w "$work/site1")" --page legacy

# No site's folder: the installation's own (or inside it), the Windows
# folder, a drive's root, a folder that holds no site (unless --new).
mkdir -p "$work/empty"
for refused in "$(winepath -w "$programs/todays")" 'C:\windows' 'C:\' "$(winepath -w "$work/empty")"; do
  : >"$work/refused.log"
  wine "$programs/enpanel-install-site.exe" --site "$refused" >>"$work/refused.log" 2>&1
  status=$?
  check "refused: $refused ($(tr -d '\r' <"$work/refused.log" | grep -o '[^:]*; nothing installed' | head -n 1))" \
    sh -c "[ $status = 1 ] && grep -q 'nothing installed' '$work/refused.log'"
done
check "the installation's programs unchanged by it" \
  sh -c "cmp -s '$programs/todays/enPanel.exe' '$windows_build/enPanel-todays.exe' && [ -z \"\$(ls '$work/empty')\" ]"
# Names the web account could put where it may write a site's folder: a
# program or a state that is a second name of another file is not read
# (Wine makes no symbolic links, so hard links stand for both).
mkdir -p "$work/planted"
"$linux_build/make_site" "$work/planted" --books 2 >/dev/null
printf 'not for the web account\n' >"$work/secret"
ln "$work/secret" "$work/planted/enPanel.exe"
ln "$work/secret" "$work/planted/web.config"
wine "$programs/enpanel-install-site.exe" --site "$(winepath -w "$work/planted")" >"$work/planted.log" 2>&1
status=$?
check "a site's enPanel.exe that is another file's second name is neither kept nor replaced (exit $status)" \
  sh -c "[ $status = 1 ] && grep -q 'a link, or a file with a second name' '$work/planted.log' &&
         [ ! -e '$work/planted/enPanel.exe.before-enpanel' ] && [ \"\$(stat -c %h '$work/secret')\" = 3 ]"
rm "$work/planted/enPanel.exe"
ln "$work/secret" "$work/planted/.install-site"
wine "$programs/enpanel-install-site.exe" --site "$(winepath -w "$work/planted")" >"$work/planted.log" 2>&1
status=$?
check "nor a state that is one: its settings are not trusted (exit $status)" \
  sh -c "[ $status = 1 ] && grep -q 'its settings cannot be trusted' '$work/planted.log' && [ ! -e '$work/planted/enPanel.exe' ]"
rm "$work/planted/.install-site"
install_site --site "$(winepath -w "$work/planted")"
kept_as_it_is() {
  printf 'not for the web account\n' | cmp -s - "$work/secret" && [ "$(stat -c %h "$work/secret")" = 2 ] &&
    iis_accepts "$work/planted/web.config.enpanel-new"
}
check "a web.config that is one is kept as it is, enPanel's beside it" kept_as_it_is
install_site --forget --site "$(winepath -w "$work/planted")"
install_site --site "$(winepath -w "$work/empty")" --new
check "--new lays out a folder with no site yet" cmp -s "$work/empty/enPanel.exe" "$windows_build/enPanel.exe"
wine "$programs/enpanel-install-site.exe" --list 2>/dev/null | tr -d '\r' >"$work/list"
check "--list names the sites with their pages" \
  sh -c "grep -q 'site2	todays	cgi' '$work/list' && grep -q 'site1	legacy	cgi' '$work/list'"
# A recorded site whose folder is gone by the next upgrade.
rm -rf "$work/empty"

# A newer installer; and a site an earlier installer was installed into,
# as it left the registry.
next=$(awk -F. -v OFS=. '{ $NF = $NF + 1; print }' <<<"$version")
newer=$("$here/scripts/package" --version "$next" msi | tail -n 1)
check "scripts/package msi --version $next built $(basename "$newer")" test -s "$newer"
mkdir -p "$work/site3"
"$linux_build/make_site" "$work/site3" --books 5 >/dev/null
wine reg add 'HKLM\SOFTWARE\enPanel' /v InstallDir /t REG_SZ /d "$(winepath -w "$work/site3")\\" /f /reg:64 >/dev/null 2>&1
# Both sites' programs in use meanwhile: the first's as a running program's
# file is (it can be renamed, not written over), the second's held so that
# it cannot even be renamed.
touch "$work/release"
wine "$hold" "$(winepath -w "$work/site1/enPanel.exe")" "$(winepath -w "$work/release")" rename >"$work/hold1" 2>&1 &
holder1=$!
wine "$hold" "$(winepath -w "$work/site2/enPanel.exe")" "$(winepath -w "$work/release")" >"$work/hold2" 2>&1 &
holder2=$!
for _ in $(seq 100); do grep -q held "$work/hold1" && grep -q held "$work/hold2" && break; sleep 0.2; done
msiexec /i "$(winepath -w "$newer")" /qn /l*v "$(winepath -w "$work/upgrade.log")"
upgrade_status=$?
# The earlier installer's removal would have taken its value away.
wine reg delete 'HKLM\SOFTWARE\enPanel' /v InstallDir /f /reg:64 >/dev/null 2>&1
tr -d '\r' <"$work/upgrade.log" >"$work/upgrade.txt"
check "the newer installer upgrades the first site while its program runs (exit $upgrade_status)" \
  sh -c "[ $upgrade_status = 0 ] && grep -qa '@(#)enPanel $next' '$programs/enPanel.exe' '$work/site1/enPanel.exe' &&
         cmp -s '$work/site1/enPanel.exe' '$programs/enPanel.exe'"
site1_w=$(winepath -w "$work/site1") site2_w=$(winepath -w "$work/site2") site3_w=$(winepath -w "$work/site3")
check "the installer's log names each site it laid out, as the tool wrote it" \
  holds "$work/upgrade.txt" "$site1_w: enPanel.exe (the page legacy, CGI) and enPanel-check.exe $next installed" \
  "/+\"[path='$site3_w\\enPanel.exe',description='enPanel',allowed='True']\""
check "and the site whose program could not be replaced, with when it will be" \
  holds "$work/upgrade.txt" "$site2_w: enPanel.exe is in use and cannot be replaced now: the new program takes its place when the machine next starts"
wine "$programs/enpanel-install-site.exe" --list 2>/dev/null | tr -d '\r' >"$work/list"
check "--list names it too, with the version it still has" \
  grep -qF "site2	todays	cgi	$version	enPanel.exe in use: the new one waits for the machine's next start" "$work/list"
rm "$work/release"
wait "$holder1" "$holder2"
wine wineboot -r >/dev/null 2>&1
wineserver -w
check "the machine's next start gives it the new program, with its page" \
  sh -c "cmp -s '$work/site2/enPanel.exe' '$programs/todays/enPanel.exe' && grep -qa '@(#)enPanel $next' '$work/site2/enPanel.exe'"
check "and nothing of the replaced programs stays in either site" \
  sh -c "! ls -a '$work/site1' '$work/site2' | grep -q '^~enPanel'"
wine "$programs/enpanel-install-site.exe" --list 2>/dev/null | tr -d '\r' >"$work/list"
check "--list then gives both sites' versions ($(tr '\t\n' '  ' <"$work/list"))" \
  sh -c "grep -q 'site1	legacy	cgi	$next\$' '$work/list' && grep -q 'site2	todays	cgi	$next\$' '$work/list'"
check "and lays out the site the earlier installer was installed into" \
  sh -c "cmp -s '$work/site3/enPanel.exe' '$programs/enPanel.exe' &&
         wine reg query '$sites_key' 2>/dev/null | grep -q site3"
check "the siblings still untouched" test "$(siblings "$work/site2")" = "$siblings2"
check "a recorded folder that is gone: named, and its record dropped" \
  sh -c "! wine reg query '$sites_key' 2>/dev/null | grep -q empty"

msiexec /x "$(winepath -w "$newer")" /qn
check "msiexec /x removes the programs, the README and the IIS files" test ! -e "$programs/enPanel.exe" -a ! -e "$programs/iis"
check "and the records and the event source" \
  sh -c "! wine reg query '$sites_key' >/dev/null 2>&1 && ! wine reg query '$key' >/dev/null 2>&1"
request "$work/site1" "wine enPanel.exe" "$work/after1"
request "$work/site2" "wine enPanel.exe" "$work/after2"
check "both sites still serve" \
  sh -c "grep -q 'Status: 200' '$work/after1' && grep -q 'Status: 200' '$work/after2' && grep -q 'CURSOR:pointer' '$work/after2'"
check "and no key of enPanel's is left" sh -c "! wine reg query 'HKLM\\SOFTWARE\\enPanel' /reg:64 >/dev/null 2>&1"

# A new installation: each site's page lives in the site itself.
msiexec /i "$(winepath -w "$newer")" /qn
install_site --site "$(winepath -w "$work/site2")"
check "after an uninstall, a site keeps its page" cmp -s "$work/site2/enPanel.exe" "$programs/todays/enPanel.exe"
install_site --restore --site "$(winepath -w "$work/site1")"
check "--restore puts the old program back, and takes enPanel's files away" \
  sh -c "printf 'MZ the old enPanel\n' | cmp -s - '$work/site1/enPanel.exe' &&
         [ ! -e '$work/site1/enPanel-check.exe' ] && [ ! -e '$work/site1/web.config' ] &&
         [ ! -e '$work/site1/.install-site' ] && [ ! -e '$work/site1/enPanel.exe.before-enpanel' ]"
msiexec /x "$(winepath -w "$newer")" /qn

# A site the installer cannot lay out (here the folder an earlier installer
# named, the Windows folder) fails the installation, named in its log
# (Windows' msiexec exits with 1603, Wine's with 67).
wine reg add 'HKLM\SOFTWARE\enPanel' /v InstallDir /t REG_SZ /d 'C:\windows\' /f /reg:64 >/dev/null 2>&1
msiexec /i "$(winepath -w "$newer")" /qn /l*v "$(winepath -w "$work/failed.log")"
status=$?
wine reg delete 'HKLM\SOFTWARE\enPanel' /f /reg:64 >/dev/null 2>&1
tr -d '\r' <"$work/failed.log" >"$work/failed.txt"
check "an installation that cannot lay out a site fails (exit $status), naming the site and what to do" \
  sh -c "[ $status != 0 ]" && holds "$work/failed.txt" \
  "the Windows folder, not a site's folder; nothing installed" "could not be given this installation's programs"
check "and is rolled back" test ! -e "$programs/enPanel.exe"
# Wine's rollback takes back the files but leaves the product registered.
msiexec /x "$(winepath -w "$newer")" /qn

[ "$failed" -eq 0 ] || { echo "msiexec's output:"; cat "$work/msiexec.log" "$work/install-site.log"; }
checks_done
