#!/usr/bin/env bash
# Debian's own test of the package: debian/tests run by autopkgtest (its
# null back end) in a Debian 12 booted with systemd as PID 1
# (../shared/systemd-container beside the checkout), against the package
# scripts/package builds. Root builds the package's system (mmdebstrap)
# and boots it (systemd-nspawn); the system holds a clone of the project's
# committed HEAD, whose debian/tests run.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
source "$top/scripts/test-booted-system.sh"
booted_system_or_skip
cd "$top"
deb=$(bash scripts/package deb | tail -n 1)
deb=$(realpath --relative-to="$top" "$deb")
# What debian/tests/control depends on, installed before the system boots
# (it reaches no package registry then).
depends=$(sed -n 's/^Depends: *//p' debian/tests/control | tr -d ',@')
bash "$container" --packages "autopkgtest dpkg-dev $depends" --copy "$deb" \
  -- autopkgtest "$deb" . -- null
