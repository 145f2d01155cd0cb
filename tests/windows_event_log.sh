#!/usr/bin/env bash
# The Windows program's operator lines reach the Application event log: run
# under Wine on a site whose Statistics is a file (so that the visit cannot
# be counted), each line it writes to standard error is reported with
# ReportEventW, as Wine's own trace of that call shows; and the program
# carries the message table whose event 1 shows the line itself.
#   windows_event_log.sh LINUX_BUILD_DIR WINDOWS_EXE WINDRES
set -uo pipefail
linux_build="$1" windows_exe="$2" windres="$3"
source "$(dirname "$0")/../scripts/lib.sh"
need wine
work=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT

mkdir -p "$work/cgi-bin"
"$linux_build/make_site" "$work/cgi-bin" --books 5 >/dev/null
cp "$windows_exe" "$work/cgi-bin/enPanel.exe"
echo "not a folder" >"$work/cgi-bin/Statistics"
(cd "$work/cgi-bin" && WINEDEBUG=-all,+eventlog env SERVER_PROTOCOL=HTTP/1.1 REQUEST_METHOD=GET \
  HTTP_HOST=localhost REMOTE_ADDR=127.0.0.1 wine enPanel.exe >"$work/page" 2>"$work/err") || true
tr -d '\r' <"$work/err" | sed -n 's/^enPanel: //p' >"$work/lines"
# Wine writes the string as a wide-string literal, backslashes doubled.
sed -n 's/^[0-9a-f]*:warn:eventlog:ReportEventW L"\(.*\)"$/\1/p' "$work/err" | sed 's/\\\\/\\/g' >"$work/reported"
check "operator lines were written ($(wc -l <"$work/lines"))" test -s "$work/lines"
check "each reached ReportEventW, the same text" cmp -s "$work/lines" "$work/reported"
resources=$("$windres" -i "$windows_exe" -J coff -O rc 2>/dev/null)
check "the program carries a message table" grep -q 'RT_MESSAGETABLE' <<<"$resources"
check "whose event 1 is the line itself (%1)" grep -Eq 'MessageId = 0x1$' <<<"$resources"
checks_done
