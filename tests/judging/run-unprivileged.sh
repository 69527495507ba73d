#!/usr/bin/env bash
# Runs the containment tests again under an unprivileged account, where
# each run needs a user namespace and nothing of root's protects the
# machine. Only root can switch accounts; others skip (exit 77).
#   run-unprivileged.sh <test program> <standard checkers folder> [gtest arguments]
set -euo pipefail
test_binary=$1
judgers=$2
shift 2
[ "$(id -u)" -eq 0 ] || { echo "not root: unprivileged run skipped"; exit 77; }
command -v setpriv >/dev/null || { echo "setpriv missing: skipped"; exit 77; }
account=65534

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
# The program with its checkers beside it, where it looks for them, in a
# folder the account can reach; the contests, HOME and TMPDIR in one the
# account owns.
mkdir -m 755 "$work/bin"
cp "$test_binary" "$work/bin/"
cp -r "$judgers" "$work/bin/"
chmod -R a+rX "$work/bin"
mkdir -m 700 "$work/tmp"
chown "$account:$account" "$work/tmp"
cd "$work"
# Not exec'ed: the folder is removed afterwards.
status=0
env HOME="$work/tmp" TMPDIR="$work/tmp" \
  setpriv --reuid=$account --regid=$account --clear-groups "$work/bin/$(basename "$test_binary")" "$@" || status=$?
exit $status
