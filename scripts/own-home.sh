#!/bin/sh
# Runs a program (a test, a benchmark) with a home and XDG base directories of
# its own, in a fresh temporary folder removed when it ends:
#
#   sh scripts/own-home.sh PROGRAM [ARGUMENT]...
#
# HOME, XDG_CONFIG_HOME, XDG_DATA_HOME, XDG_STATE_HOME, XDG_CACHE_HOME and
# XDG_RUNTIME_DIR (mode 0700, as the XDG base directory rules and Qt want it) all lie
# in that folder, and FS_TEST_HOME names it. The programs PROGRAM starts
# inherit them, so nothing a test does (a load's backup, the service history,
# a file chooser's last folder, the Options, a temporary report) reaches the
# invoking user's folders. The status is PROGRAM's; 125 when the folder could
# not be made.
set -u
[ "$#" -ge 1 ] || { echo "usage: $0 PROGRAM [ARGUMENT]..." >&2; exit 125; }
root=$(mktemp -d "${TMPDIR:-/tmp}/fieldservice-home.XXXXXX") || exit 125
cleanup() {
  # A test may leave a folder it made unwritable; the whole tree goes all the same.
  chmod -R u+rwx "$root" 2>/dev/null
  rm -rf "$root"
}
trap cleanup EXIT
trap 'exit 143' TERM
trap 'exit 130' INT
trap 'exit 129' HUP
mkdir -p "$root/home" "$root/config" "$root/data" "$root/state" "$root/cache" "$root/runtime" || exit 125
chmod 700 "$root/home" "$root/runtime" || exit 125
HOME="$root/home"
XDG_CONFIG_HOME="$root/config"
XDG_DATA_HOME="$root/data"
XDG_STATE_HOME="$root/state"
XDG_CACHE_HOME="$root/cache"
XDG_RUNTIME_DIR="$root/runtime"
FS_TEST_HOME="$root"
export HOME XDG_CONFIG_HOME XDG_DATA_HOME XDG_STATE_HOME XDG_CACHE_HOME XDG_RUNTIME_DIR FS_TEST_HOME
"$@"
