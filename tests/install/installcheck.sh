#!/usr/bin/env bash
# Installs the packages scripts/package built, checks them as installed, and removes them:
# the programs and manual pages from their installed paths, the desktop files, the unit, the
# installed app through the smoke test against the installed sandbox, and a clean removal.
# The packages are removed also when a check fails.
#
#   installcheck.sh BUILD_DIR
# Exits 77 (skipped) when this machine does not allow installing packages.
set -euo pipefail

build=$(cd "$1" && pwd)
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
packages=(pinrova pinrova-posd pinrova-sandbox)
programs=(pinrova pinrova-posd pinrova-sandbox pinrova-mce)
log() { printf 'installcheck: %s\n' "$*" >&2; }
fail() {
    log "FAILED: $*"
    exit 1
}

sudo=()
if [ "$(id -u)" -ne 0 ]; then
    if ! sudo -n true 2>/dev/null; then
        log "SKIPPED: installing packages needs root or password-less sudo"
        exit 77
    fi
    sudo=(sudo -n)
fi
shopt -s nullglob
debs=("$build"/packages/*.deb)
((${#debs[@]} == ${#packages[@]})) || fail "expected ${#packages[@]} packages in $build/packages, found ${#debs[@]}"
for program in "${programs[@]}"; do
    if command -v "$program" >/dev/null; then
        log "SKIPPED: $(command -v "$program") is already there; this check installs only on a clean machine"
        exit 77
    fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/pinrova-install.XXXXXX")
remove() {
    "${sudo[@]}" dpkg --purge "${packages[@]}" >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap remove EXIT

export DEBIAN_FRONTEND=noninteractive
log "installing ${debs[*]##*/}"
# apt/dpkg may be busy with another install on a shared machine: wait for it.
for attempt in 1 2 3 4 5 6; do
    "${sudo[@]}" apt-get install -y -q --no-install-recommends "${debs[@]}" >"$work/apt.log" 2>&1 && break
    grep -q 'Could not get lock' "$work/apt.log" || { cat "$work/apt.log" >&2; fail "apt-get install"; }
    ((attempt < 6)) || fail "apt/dpkg stayed locked"
    sleep 20
done

for program in "${programs[@]}"; do
    [ "$(command -v "$program")" = "/usr/bin/$program" ] || fail "$program is not installed in /usr/bin"
done
pinrova-posd --help | grep -q -- '--listen' || fail "pinrova-posd --help"
# Slim images tell dpkg to leave out /usr/share/man (path-exclude): the machine's choice.
if grep -rqs '^path-exclude=*/usr/share/man' /etc/dpkg/dpkg.cfg.d; then
    log "SKIPPED man -w: dpkg on this machine leaves out /usr/share/man (/etc/dpkg/dpkg.cfg.d)"
else
    for page in pinrova-posd pinrova-sandbox pinrova-mce; do
        [ "$(man -w "$page" 2>/dev/null)" = "/usr/share/man/man1/$page.1.gz" ] ||
            fail "man -w $page finds no installed manual page"
    done
fi
log "programs and manual pages in place"

desktop-file-validate /usr/share/applications/pinrova.desktop || fail "desktop-file-validate"
metainfo=$(dpkg -L pinrova | grep '^/usr/share/metainfo/.*\.xml$') || fail "no AppStream metainfo"
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate"
for size in 16 22 24 32 48 64 128 256; do
    icon=/usr/share/icons/hicolor/${size}x${size}/apps/pinrova.png
    [ "$(identify -format '%wx%h' "$icon" 2>/dev/null)" = "${size}x${size}" ] || fail "$icon"
done
unit=/lib/systemd/system/pinrova-posd.service
grep -qx 'ExecStart=/usr/bin/pinrova-posd .*' "$unit" || fail "the unit starts another program"
systemd-analyze verify "$unit" || fail "systemd-analyze verify $unit"
systemd-analyze security --offline=true "$unit" | tail -n 1 >&2
log "desktop files, icons and unit valid"

# The sign-in view runs on Qt WebEngine, and nothing of QtWebKit is left.
depends=$(dpkg-query -W -f='${Depends}' pinrova)
grep -q 'libqt5webenginewidgets5' <<<"$depends" || fail "pinrova does not depend on Qt WebEngine"
! grep -q 'webkit' <<<"$depends" || fail "pinrova still depends on QtWebKit"

# smoke.sh turns Chromium's sandbox off when run as root, as here, and draws in software.
log "the installed app against the installed sandbox, on a virtual screen"
PINROVA_WORLD_PREFIX=/usr bash "$root/tests/smoke/smoke.sh" "$build" "$work/smoke" ||
    fail "the installed app did not reach the map"

mapfile -t files < <(dpkg -L "${packages[@]}" | while read -r path; do
    [ -f "$path" ] && echo "$path"
done)
"${sudo[@]}" dpkg -r "${packages[@]}" || fail "dpkg -r"
for path in "${files[@]}"; do
    [ ! -e "$path" ] || fail "$path is left after dpkg -r"
done
for package in "${packages[@]}"; do
    if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q ' installed$'; then
        fail "$package is still installed"
    fi
done
log "removed cleanly: ${#files[@]} files gone"
