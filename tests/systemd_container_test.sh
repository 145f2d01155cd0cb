#!/usr/bin/env bash
# The units for real: systemd_units_test.sh in a Debian 12 booted with
# systemd as PID 1 (../shared/systemd-container beside the checkout), with
# the release build's programs copied in. Root makes the system
# (mmdebstrap) and boots it (systemd-nspawn); the system holds a clone of
# the project's committed HEAD.
#   tests/systemd_container_test.sh BUILD_DIR
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath --relative-to="$top" "$1")
source "$top/scripts/test-booted-system.sh"
booted_system_or_skip
cd "$top"
# The programs where the kit of a checkout takes them.
stage="build/release"
if [ "$build" != "$stage" ]; then
  echo "the kit in a checkout takes build/release's programs; this build is $build" >&2
  exit 1
fi
bash "$container" --packages "nginx-light apache2 curl brotli iproute2" \
  --copy "$stage/enPanel" --copy "$stage/enPanel-check" --copy "$stage/make_site" \
  -- bash tests/systemd_units_test.sh
