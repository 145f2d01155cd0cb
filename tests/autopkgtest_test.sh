#!/usr/bin/env bash
# Debian's own test of the package: debian/tests run by autopkgtest (its
# null back end) in a Debian 12 booted with systemd as PID 1
# (../shared/systemd-container beside the checkout), against the package
# scripts/package builds. Root builds the package's system (mmdebstrap)
# and boots it (systemd-nspawn); the system holds a clone of the project's
# committed HEAD, whose debian/tests run.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
container="$top/../shared/systemd-container"
if [ "$(id -u)" -ne 0 ]; then
  echo "SKIPPED: needs root (the system is made with mmdebstrap and booted with systemd-nspawn)"
  exit 77
fi
[ -f "$container" ] || { echo "SKIPPED: no ../shared/systemd-container beside the checkout"; exit 77; }
if ! mountpoint -q /; then
  # systemd-nspawn boots a system only from a root that is a mount point.
  echo "SKIPPED: this system runs in a chroot (as ../shared/fresh-machine-ci runs it), where" \
    "systemd-nspawn cannot boot another; a machine of its own runs it"
  exit 77
fi
cd "$top"
deb=$(bash scripts/package deb | tail -n 1)
deb=$(realpath --relative-to="$top" "$deb")
# What debian/tests/control depends on, installed before the system boots
# (it reaches no package registry then).
depends=$(sed -n 's/^Depends: *//p' debian/tests/control | tr -d ',@')
bash "$container" --packages "autopkgtest dpkg-dev $depends" --copy "$deb" \
  -- autopkgtest "$deb" . -- null
