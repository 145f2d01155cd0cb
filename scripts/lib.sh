# Shared by the scripts and the tests: the package table and its helpers,
# the servers the tests run, CTest's reports, the shell tests' checks, and
# the scripts' headings.
# (scripts/install-site loads none of this: only its own parts in kit/.)
here_lib="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here_lib/packages.sh"
KIT_TEMPLATES="$(dirname "$here_lib")/deploy"
source "$here_lib/kit/site-config.sh"
source "$here_lib/test-servers.sh"
source "$here_lib/ctest-report.sh"
source "$here_lib/test-checks.sh"

step() { printf '\n== %s\n' "$*"; }
