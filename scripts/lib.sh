# Shared by the scripts: package installation and output helpers.

# Packages every build needs; the web-server, browser and Windows stages add
# their own.
CORE_PACKAGES="cmake make g++ clang googletest libgtest-dev"

step() { printf '\n== %s\n' "$*"; }

# Installs the Debian packages that are missing. As root it runs apt-get;
# otherwise it prints the one command needed and stops.
ensure_packages() {
  local missing=()
  local p
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$p")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages. Run as root:" >&2
    echo "  apt-get update && apt-get install -y --no-install-recommends ${missing[*]}" >&2
    exit 1
  fi
  step "installing: ${missing[*]}"
  if [ -z "${ENPANEL_APT_UPDATED:-}" ]; then
    apt-get update -qq || true
    export ENPANEL_APT_UPDATED=1
  fi
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}
