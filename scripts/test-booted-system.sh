# The tests that boot a Debian 12 with systemd as PID 1 through
# ../shared/systemd-container: `booted_system_or_skip` sets $container to
# it, or exits 77 saying why it cannot run here. Loaded by
# tests/systemd_container_test.sh and tests/autopkgtest_test.sh.
booted_system_or_skip() {
  container="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/../shared/systemd-container"
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
}
