#!/usr/bin/env bash
# The Windows installer as an operator uses it, under Wine: scripts/package
# builds it; msiexec installs it silently into a site folder that holds
# books, given as INSTALLDIR; the installed enPanel.exe writes the Linux
# program's bytes as a CGI program and through a named pipe as IIS drives
# it; the event source is in the registry, and an operator line reaches
# ReportEventW; PAGE=todays installs the page for today's browsers; and
# msiexec /x removes what was installed and leaves the books, the headers
# file and the statistics.
#   windows_msi.sh LINUX_BUILD_DIR DRIVER_EXE
set -uo pipefail
linux_build="$1" driver="$2"
here="$(cd "$(dirname "$0")/.." && pwd)"
source "$here/scripts/lib.sh"
need wine winepath wixl msibuild
work=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT

msi=$("$here/scripts/package" msi | tail -n 1)
check "scripts/package built the installer ($(basename "$msi"))" test -s "$msi"
windows_build="$here/build/windows"
key='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\enPanel'

msiexec() { wine msiexec "$@" >>"$work/msiexec.log" 2>&1; }
request() {  # FOLDER PROGRAM OUTPUT [HOST]
  (cd "$1" && env -i PATH="$PATH" HOME="$HOME" WINEPREFIX="$WINEPREFIX" WINEDEBUG="${WINEDEBUG:-}" \
    SERVER_PROTOCOL=HTTP/1.1 REQUEST_METHOD=GET HTTP_HOST="${4:-localhost}" REMOTE_ADDR=127.0.0.1 \
    $2 >"$3" 2>>"$work/request.err")
}

# A site folder with books, and its Linux twin.
for side in site twin; do
  mkdir -p "$work/$side"
  "$linux_build/make_site" "$work/$side" --books 40 >/dev/null
done
cp "$linux_build/enPanel" "$work/twin/enPanel"

msiexec /i "$(winepath -w "$msi")" INSTALLDIR="$(winepath -w "$work/site")\\" /qn
check "msiexec installed into the site folder" test -f "$work/site/enPanel.exe"
check "enPanel.exe is the page as it always was" cmp -s "$work/site/enPanel.exe" "$windows_build/enPanel.exe"
check "with enPanel-check.exe, the README and both IIS files" \
  sh -c "cmp -s '$work/site/enPanel-check.exe' '$windows_build/enPanel-check.exe' &&
         test -s '$work/site/README-IIS.txt' &&
         cmp -s '$work/site/iis/web.config' '$here/deploy/iis/web.config' &&
         cmp -s '$work/site/iis/web-fastcgi.config' '$here/deploy/iis/web-fastcgi.config'"
source_file=$(wine reg query "$key" /v EventMessageFile 2>/dev/null | tr -d '\r' | awk '/EventMessageFile/ { $1 = ""; $2 = ""; sub(/^ +/, ""); print }')
check "the event source is registered, with the installed program ($source_file)" \
  test "$(winepath -u "$source_file" 2>/dev/null)" = "$work/site/enPanel.exe"

for round in first second; do
  request "$work/site" "wine enPanel.exe" "$work/windows.$round"
  request "$work/twin" ./enPanel "$work/linux.$round"
  check "as a CGI program, the $round request: the Linux program's bytes ($(wc -c <"$work/linux.$round"))" \
    cmp -s "$work/windows.$round" "$work/linux.$round"
done
check "the headers files alike" cmp -s "$work/site/Hdrs1020.TXT" "$work/twin/Hdrs1020.TXT"

echo "SERVER_PROTOCOL=HTTP/1.1|REQUEST_METHOD=GET|HTTP_HOST=localhost|REMOTE_ADDR=127.0.0.1" >"$work/requests"
request "$work/twin" ./enPanel "$work/linux.third"
wine "$driver" "$(winepath -w "$work/site/enPanel.exe")" "$(winepath -w "$work/requests")" \
  "$(winepath -w "$work/pipe")" >/dev/null 2>"$work/driver.err"
check "through IIS's named pipe: the Linux program's bytes" cmp -s "$work/pipe.1" "$work/linux.third"

# A visit that cannot be counted: the line goes to the event log too.
mv "$work/site/Statistics" "$work/Statistics.kept"
: >"$work/request.err"
echo "not a folder" >"$work/site/Statistics"
WINEDEBUG=-all,+eventlog request "$work/site" "wine enPanel.exe" /dev/null
tr -d '\r' <"$work/request.err" | sed -n 's/^enPanel: //p' >"$work/lines"
# Wine writes the string as a wide-string literal, backslashes doubled.
sed -n 's/^[0-9a-f]*:warn:eventlog:ReportEventW L"\(.*\)"$/\1/p' "$work/request.err" | sed 's/\\\\/\\/g' >"$work/reported"
check "an operator line reached ReportEventW ($(head -n 1 "$work/lines"))" \
  sh -c "test -s '$work/lines' && cmp -s '$work/lines' '$work/reported'"
rm "$work/site/Statistics"
mv "$work/Statistics.kept" "$work/site/Statistics"

msiexec /x "$(winepath -w "$msi")" /qn
check "msiexec /x removed the programs, the README and the IIS files" \
  sh -c "[ ! -e '$work/site/enPanel.exe' ] && [ ! -e '$work/site/enPanel-check.exe' ] &&
         [ ! -e '$work/site/README-IIS.txt' ] && [ ! -e '$work/site/iis' ]"
check "and left the books, the headers file and the statistics" \
  sh -c "[ -d '$work/site/fulltxt' ] && [ -d '$work/site/fullindexes' ] && [ -s '$work/site/Hdrs1020.TXT' ] &&
         ls '$work/site/Statistics/'*.ctr >/dev/null"
check "and the event source" sh -c "! wine reg query '$key' >/dev/null 2>&1"

mkdir -p "$work/todays"
msiexec /i "$(winepath -w "$msi")" INSTALLDIR="$(winepath -w "$work/todays")\\" PAGE=todays /qn
check "PAGE=todays installs the page for today's browsers" \
  cmp -s "$work/todays/enPanel.exe" "$windows_build/enPanel-todays.exe"
msiexec /x "$(winepath -w "$msi")" /qn
check "which msiexec /x removes" test ! -e "$work/todays/enPanel.exe"

[ "$failed" -eq 0 ] || { echo "msiexec's output:"; cat "$work/msiexec.log"; }
checks_done
