#!/usr/bin/env bash
# The smoke run on a machine with nothing but loopback (a laptop in flight mode, a container):
# smoke.sh inside a network namespace of its own with only "lo" up. Exits 77 (skipped) where
# the machine refuses to make one.
#
#   loopbackonly.sh BUILD_DIR OUTPUT_DIR
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

namespace=()
if unshare -n true 2>/dev/null; then
    namespace=(unshare -n)
elif unshare -r -n true 2>/dev/null; then
    namespace=(unshare -r -n) # as an unprivileged user, in a user namespace of its own
else
    echo "loopback-only smoke: this machine refuses 'unshare -n'; skipped" >&2
    exit 77
fi
# shellcheck disable=SC2016
exec "${namespace[@]}" bash -c '
    set -e
    ip link set lo up
    if ip -o link show | grep -v " lo:" | grep -q "state UP"; then
        echo "loopback-only smoke: another interface is up in the namespace" >&2
        exit 1
    fi
    exec bash "$0" "$@"' "$here/smoke.sh" "$@"
