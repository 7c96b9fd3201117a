#!/usr/bin/env bash
# Installs the Debian packages Korvane needs that are missing. Quiet when all are there.
# Usage: scripts/deps.sh run|demo|test
set -euo pipefail

# librsvg2-bin renders the icon's sizes from its SVG.
build_packages=(cmake ninja-build g++ qt6-base-dev qt6-multimedia-dev libgl-dev libxkbcommon-dev
                librsvg2-bin)
run_packages=(xvfb openbox tint2 fonts-dejavu-core ca-certificates)
# start.sh --demo: the run packages and a private mail server (scripts/mailserver.sh).
demo_packages=(dovecot-core dovecot-pop3d dovecot-imapd openssl python3)
test_packages=(libgtest-dev libgmock-dev clang-format dovecot-core dovecot-pop3d dovecot-imapd
               xvfb openbox tint2 xdotool clang libclang-rt-14-dev python3 fonts-dejavu-core
               openssl ca-certificates imagemagick dbus dpkg-dev desktop-file-utils appstream
               rofi)

wanted=("${build_packages[@]}")
case "${1:-run}" in
    run) wanted+=("${run_packages[@]}") ;;
    demo) wanted+=("${run_packages[@]}" "${demo_packages[@]}") ;;
    test) wanted+=("${test_packages[@]}") ;;
    *) echo "usage: $0 run|demo|test" >&2; exit 2 ;;
esac

missing=()
for package in "${wanted[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
    [ "$status" = "installed" ] || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
# Dovecot's packages try to start the system service; nothing here needs that service.
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
