#!/usr/bin/env bash
# Two copies of the sources, in folders whose paths differ in length, built
# with the release preset and the flags a Debian package build adds
# (dpkg-buildflags, debugging information among them, where every path would
# show): the program and the site check come out the same bytes.
#   reproducible_test.sh SOURCE_FOLDER
set -euo pipefail
source_folder="$(realpath "$1")"
source "$(dirname "$0")/../scripts/lib.sh"
need git
if ! git -C "$source_folder" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  echo "SKIPPED: $source_folder is not a git checkout, so which files are sources is not known"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The sources as they stand (tracked files, and new ones git does not ignore).
copy() {  # DESTINATION
  mkdir -p "$1"
  (cd "$source_folder" && git ls-files -z --cached --others --exclude-standard |
    xargs -0 -I{} sh -c '[ -e "{}" ] && printf "%s\0" "{}"' |
    tar --null -T - -cf -) | (cd "$1" && tar -xf -)
}
short="$work/a"
long="$work/a-much-longer-folder-name-for-the-second-copy/of/the/sources"
export CXXFLAGS="-g -O2 -Wformat -Werror=format-security" CFLAGS="-g -O2" LDFLAGS="-Wl,-z,relro"
for tree in "$short" "$long"; do
  copy "$tree"
  (cd "$tree" && cmake --preset release -DBUILD_TESTING=OFF >/dev/null &&
    cmake --build --preset release -j "$(nproc)" --target enPanel enPanel-check >/dev/null)
done
status=0
for program in enPanel enPanel-check; do
  if cmp -s "$short/build/release/$program" "$long/build/release/$program"; then
    echo "ok: $program is the same, byte for byte"
  else
    echo "FAILED: $program differs between the two folders"
    status=1
  fi
done
exit $status
