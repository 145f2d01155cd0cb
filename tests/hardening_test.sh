#!/usr/bin/env bash
# What the built program carries of the hardening (cmake/hardening.cmake),
# read off the binaries and the objects of our own layers with readelf and
# objdump; any part missing fails the test.
#   hardening_test.sh linux PROGRAM CHECK STATIC(ON|OFF) ARCHIVE...
#   hardening_test.sh windows PROGRAM.exe OBJDUMP
set -uo pipefail
source "$(dirname "$0")/../scripts/lib.sh"
need readelf objdump
kind="$1"
shift
finish() { checks_done; exit; }

if [ "$kind" = windows ]; then
  program="$1" objdump="$2"
  headers=$("$objdump" -p "$program")
  for flag in DYNAMIC_BASE HIGH_ENTROPY_VA NX_COMPAT; do
    check "$(basename "$program"): $flag" grep -q "^[[:space:]]*$flag\$" <<<"$headers"
  done
  check "$(basename "$program"): relocations, so that it can be moved" \
    sh -c "'$objdump' -h '$program' | grep -q ' \.reloc '"
  check "$(basename "$program"): stack protector" \
    sh -c "'$objdump' -t '$program' | grep -q __stack_chk_fail"
  finish
fi

program="$1" check_program="$2" static="$3"
shift 3
archives=("$@")
for f in "$program" "$check_program"; do
  name=$(basename "$f")
  check "$name: position-independent (ELF type DYN)" \
    sh -c "readelf -h '$f' | grep -q 'Type:[[:space:]]*DYN'"
  check "$name: relocations bound at start (BIND_NOW)" \
    sh -c "readelf -d '$f' | grep -Eq '\((FLAGS|FLAGS_1)\).*(BIND_NOW|NOW)'"
  check "$name: read-only relocations (GNU_RELRO)" sh -c "readelf -lW '$f' | grep -q GNU_RELRO"
  check "$name: the stack is not executable" \
    sh -c "readelf -lW '$f' | grep GNU_STACK | grep -q ' RW '"
  check "$name: large stack frames probed page by page" \
    sh -c "objdump -d --no-show-raw-insn '$f' | grep -Eq 'orq +\\\$0x0,\\(%rsp\\)'"
  check "$name: fortified calls" sh -c "objdump -d '$f' | grep -Eq '<__+[a-z_]+_chk(@plt)?>'"
done
if [ "$static" = ON ]; then
  check "$(basename "$program"): static and position-independent (no interpreter)" \
    sh -c "! readelf -lW '$program' | grep -q INTERP"
fi

# Our own objects: each marks itself fit for branch tracking and shadow
# stacks, and between them they use the stack protector and fortified calls.
objects=0 marked=0
for archive in "${archives[@]}"; do
  while read -r n; do objects=$((objects + 1)); [ "$n" -gt 0 ] && marked=$((marked + 1)); done < <(
    readelf -nW "$archive" | awk '/^File: / { if (seen) print count; seen = 1; count = 0 }
                                  /x86 feature: IBT, SHSTK/ { count++ } END { if (seen) print count }')
done
check "every one of our $objects objects carries the control-flow protection note ($marked)" \
  test "$objects" -gt 0 -a "$marked" = "$objects"
symbols=$(nm "${archives[@]}" 2>/dev/null)
check "our objects call the stack protector's check" grep -q ' U __stack_chk_fail$' <<<"$symbols"
check "our objects call fortified functions" grep -Eq ' U __[a-z_]+_chk$' <<<"$symbols"

# The program itself bears the note only when every object linked in does;
# Debian's C start-up files (and, for a static program, its C library) do not
# carry it yet. Should they come to, the program must carry it too.
start_files=(/usr/lib/x86_64-linux-gnu/Scrt1.o /usr/lib/x86_64-linux-gnu/crti.o /usr/lib/x86_64-linux-gnu/crtn.o)
[ "$static" = ON ] && start_files+=(/usr/lib/x86_64-linux-gnu/rcrt1.o /usr/lib/x86_64-linux-gnu/libc.a)
unmarked=()
for f in "${start_files[@]}"; do
  [ -e "$f" ] && ! readelf -nW "$f" 2>/dev/null | grep -q 'IBT, SHSTK' && unmarked+=("$(basename "$f")")
done
if [ ${#unmarked[@]} -eq 0 ]; then
  check "$(basename "$program"): control-flow protection note" \
    sh -c "readelf -nW '$program' | grep -q 'IBT, SHSTK'"
else
  echo "note: no control-flow protection note on the program: the system's ${unmarked[*]} carry none"
fi
finish
