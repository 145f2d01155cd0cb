# The Debian packages the scripts and tests use: one table of them, their
# installation, and the one way a test asks for a command.

# Every Debian package the scripts and tests use: its name, the stage that
# installs it, and what it provides (commands, or files by their path).
# scripts/test installs the stages core, web, pictures, browser, windows and
# package;
# the benchmarks' own packages (stage bench) stay out of the tests' set.
PACKAGE_TABLE='
cmake                 core      cmake ctest
make                  core      make
g++                   core      g++
clang                 core      clang clang++
libclang-rt-14-dev    core      libclang_rt.fuzzer-x86_64.a libclang_rt.asan-x86_64.a
libbrotli-dev         core      /usr/include/brotli/encode.h
zlib1g-dev            core      /usr/include/zlib.h
libdeflate-dev        core      /usr/include/libdeflate.h
libseccomp-dev        core      /usr/include/seccomp.h
googletest            core      /usr/src/googletest
libgtest-dev          core      /usr/include/gtest/gtest.h
binutils              core      readelf objdump
dpkg-dev              core      dpkg-buildflags dpkg-buildpackage
git                   core      git
gzip                  core      gzip
util-linux            core      setpriv setsid nsenter
procps                core      pkill pgrep
acl                   core      setfacl getfacl
strace                core      strace
lighttpd              web       lighttpd
lighttpd-mod-deflate  web       /usr/lib/lighttpd/mod_deflate.so
apache2               web       apache2 a2enmod a2dismod apache2ctl
libapache2-mod-fcgid  web       /usr/lib/apache2/modules/mod_fcgid.so
nginx-light           web       nginx
fcgiwrap              web       fcgiwrap
spawn-fcgi            web       spawn-fcgi
supervisor            web       supervisord supervisorctl
curl                  web       curl
brotli                web       brotli
iproute2              web       ss ip
init-system-helpers   web       service
systemd               web       systemd-analyze
glusterfs-server      web       glusterd gluster
glusterfs-client      web       glusterfs
imagemagick           pictures  /usr/bin/convert
fonts-dejavu-core     pictures  /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf
chromium              browser   /usr/bin/chromium
nodejs                browser   node
npm                   browser   npm
g++-mingw-w64-x86-64  windows   x86_64-w64-mingw32-g++
libz-mingw-w64-dev    windows   /usr/x86_64-w64-mingw32/include/zlib.h
wine                  windows   wine winepath
wine64                windows   /usr/lib/wine/wine64
wixl                  windows   wixl
msitools              windows   msibuild msiinfo
debhelper             package   dh dh_auto_configure
build-essential       package   /usr/share/build-essential/list
lintian               package   lintian
libfcgi-dev           bench     /usr/include/fcgiapp.h
wrk                   bench     wrk
libfcgi-bin           web       cgi-fcgi
valgrind              bench     valgrind callgrind_annotate
'
TEST_STAGES="core web pictures browser windows package"

# packages_of STAGE...: the packages the table gives these stages.
packages_of() {
  local stages=" $* "
  awk -v stages="$stages" 'NF >= 3 && index(stages, " " $2 " ") { print $1 }' <<<"$PACKAGE_TABLE"
}

# package_for NAME [STAGE...]: the package that provides NAME in these
# stages (the tests' by default); nothing when none does.
package_for() {
  local name="$1"
  shift
  local stages=" ${*:-$TEST_STAGES} "
  awk -v name="$name" -v stages="$stages" '
    NF >= 3 && index(stages, " " $2 " ") { for (i = 3; i <= NF; i++) if ($i == name) { print $1; exit } }' \
    <<<"$PACKAGE_TABLE"
}

# need NAME...: each NAME (a command, a file by its path, or a runtime
# library of clang's by its name) is there and
# comes from a package that scripts/test installs; otherwise one line naming
# what is missing, and exit 1. A command only installed by hand (or by the
# benchmarks) fails too, so that it fails on every machine alike.
need() {
  local name package
  for name in "$@"; do
    package=$(package_for "$name")
    if [ -z "$package" ]; then
      echo "need $name: no package that scripts/test installs provides it (the table in scripts/packages.sh)" >&2
      exit 1
    fi
    if [[ "$name" == /* ]]; then
      [ -e "$name" ] && continue
    elif [[ "$name" == libclang_rt.* ]]; then
      [ -e "$(clang -print-resource-dir 2>/dev/null)/lib/linux/$name" ] && continue
    elif command -v "$name" >/dev/null || [ -x "/usr/sbin/$name" ] || [ -x "/sbin/$name" ]; then
      continue
    fi
    echo "missing $name (package $package): run scripts/test" >&2
    exit 1
  done
}

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
