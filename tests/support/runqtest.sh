#!/usr/bin/env bash
# Runs one QtTest executable for CTest. A run that passed but skipped cases exits 77, which
# CTest shows as skipped (SKIP_RETURN_CODE): a skip must never read as a pass. A failure keeps
# its own exit code, so it is never hidden by a skip.
set -uo pipefail
# The sign-in web view's renderer refuses to start as root inside Chromium's sandbox; as root (CI,
# containers) the tests run it without. Users never run as root, and keep the sandbox.
if [ "$(id -u)" -eq 0 ]; then
    export QTWEBENGINE_DISABLE_SANDBOX=1
fi
out=$(mktemp "${TMPDIR:-/tmp}/qtest.XXXXXX")
trap 'rm -f "$out"' EXIT
"$@" 2>&1 | tee "$out"
rc=${PIPESTATUS[0]}
if [ "$rc" -eq 0 ] && grep -q '^SKIP   : ' "$out"; then
    exit 77
fi
exit "$rc"
