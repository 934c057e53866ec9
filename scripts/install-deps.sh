#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, and any named as arguments; does nothing when they
# are all there.
#   scripts/install-deps.sh [PACKAGE...]
# Every name below is the same on Debian 12 (bookworm) and Debian 13 (trixie); a release that lacks one is
# named with the package before anything is installed.
set -euo pipefail

packages=(
    cmake make git
    g++-mingw-w64-x86-64-win32 mingw-w64-tools
    wine wine64
    xvfb xauth
    googletest
    imagemagick icoutils
    python3 fp-compiler-3.2.2 fp-units-fcl-3.2.2 fp-units-misc-3.2.2 fpc-source-3.2.2 libchm-bin
    mono-mcs mono-runtime libmono-system-windows-forms4.0-cil
    time osslsigncode openssl
    "$@"
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo apt-get update -qq
unknown=()
for package in "${missing[@]}"; do
    [ -n "$(apt-cache policy "$package" 2>/dev/null | sed -n 's/^ *Candidate: *//p' | grep -v '(none)')" ] ||
        unknown+=("$package")
done
if [ ${#unknown[@]} -ne 0 ]; then
    echo "install-deps.sh: the archive of Debian $(cat /etc/debian_version 2>/dev/null || echo '?') has no" \
        "package ${unknown[*]}" >&2
    exit 1
fi
echo "Installing: ${missing[*]}"
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
