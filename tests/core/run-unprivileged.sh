#!/usr/bin/env bash
# Runs the process-runner tests again under an unprivileged account, where
# each run needs a user namespace besides its PID namespace. Only root can
# switch accounts; others skip (exit 77).
set -euo pipefail
test_binary=$1
probe=$2
[ "$(id -u)" -eq 0 ] || { echo "not root: unprivileged run skipped"; exit 77; }
command -v setpriv >/dev/null || { echo "setpriv missing: skipped"; exit 77; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
# The programs in a folder of their own: a run sees its program's folder,
# and the tests' files must lie outside it.
mkdir -m 755 "$work/bin"
cp "$test_binary" "$probe" "$work/bin/"
mkdir -m 777 "$work/tmp"
cd "$work"
env HOME="$work/tmp" TMPDIR="$work/tmp" VELKOR_RUNNER_PROBE="$work/bin/$(basename "$probe")" \
  setpriv --reuid=65534 --regid=65534 --clear-groups "$work/bin/$(basename "$test_binary")"
