#!/usr/bin/env bash
# Runs README command 2 (scripts/test.sh) inside a fresh root of a Debian release, as a new user of that
# release would: a minimal root made with debootstrap, a clone of this checkout's HEAD, and nothing else.
#
#   sudo scripts/test-in-debian.sh RELEASE [ctest arguments...]     e.g. scripts/test-in-debian.sh trixie
#
# The archive is the one this machine's own apt configuration names. The bootstrapped base root is kept in
# $LX_DEBIAN_CACHE (default /var/cache/lumenix-debian) and made again when it is missing or older than a week;
# every run works in a copy of it that is removed afterwards. /proc, /sys, /dev and /dev/pts are bind-mounted
# into the copy and unmounted on every way out. The last line printed is the run's summary.
set -euo pipefail

release=${1:?usage: test-in-debian.sh RELEASE [ctest arguments...]}
shift
checkout=$(cd "$(dirname "$0")/.." && pwd)
cache=${LX_DEBIAN_CACHE:-/var/cache/lumenix-debian}
base="$cache/$release"
root=""
mounted=()

# shellcheck source=scripts/debian-archive.sh
. "$checkout/scripts/debian-archive.sh"

die() {
    echo "test-in-debian.sh: $*" >&2
    exit 1
}

ensure_host_tools() {
    command -v debootstrap >/dev/null && command -v git >/dev/null && command -v wget >/dev/null && return
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends debootstrap git wget >/dev/null
}

# The bootstrapped base root: made when missing or older than a week, else reused.
ensure_base() {
    local archive=$1
    if [ -f "$base/.lumenix-bootstrapped" ] && [ -z "$(find "$base/.lumenix-bootstrapped" -mtime +6)" ]; then
        echo "base root: $base (bootstrapped $(date -r "$base/.lumenix-bootstrapped" '+%F %T'))"
        return
    fi
    echo "base root: bootstrapping Debian $release into $base"
    rm -rf --one-file-system "$base" "$base.new"
    mkdir -p "$cache"
    if ! debootstrap --variant=minbase "$release" "$base.new" "$archive" >"$cache/$release-debootstrap.log" 2>&1; then
        tail -n 20 "$cache/$release-debootstrap.log" >&2
        rm -rf --one-file-system "$base.new"
        die "debootstrap of $release failed (log: $cache/$release-debootstrap.log)"
    fi
    touch "$base.new/.lumenix-bootstrapped"
    mv "$base.new" "$base"
}

# Processes still running inside the work root: only programs this run started can be there.
processes_in_root() {
    local link pid
    for link in /proc/[0-9]*/root; do
        pid=${link#/proc/}
        pid=${pid%/root}
        if [ "$(readlink "$link" 2>/dev/null)" = "$root" ]; then echo "$pid"; fi
    done
}

end_processes_in_root() {
    local pids _
    for _ in $(seq 50); do
        pids=$(processes_in_root)
        [ -n "$pids" ] || return 0
        # shellcheck disable=SC2086
        kill -KILL $pids 2>/dev/null || true
        sleep 0.1
    done
    echo "test-in-debian.sh: processes still running in $root: $(processes_in_root | tr '\n' ' ')" >&2
}

cleanup() {
    local status=$? i
    trap - EXIT INT TERM
    if [ -n "$root" ]; then
        end_processes_in_root
        wait 2>/dev/null || true # the run's output and status writers, outside the root
        for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
            umount "${mounted[i]}" 2>/dev/null || umount -l "${mounted[i]}" ||
                echo "test-in-debian.sh: could not unmount ${mounted[i]}" >&2
        done
        if findmnt -rn -o TARGET | grep -q "^$root/"; then
            echo "test-in-debian.sh: mounts remain below $root; it is left in place" >&2
        else
            rm -rf --one-file-system "$root"
        fi
    fi
    exit "$status"
}

[ "$(id -u)" -eq 0 ] || die "must run as root (debootstrap, mount and chroot need it): sudo $0 $release $*"
archive=$(find_archive)
[ -n "$archive" ] || die "no Debian archive found in /etc/apt/sources.list.d/*.sources or /etc/apt/sources.list"
ensure_host_tools
wget -q -O /dev/null --timeout=20 --tries=2 "$archive/dists/$release/Release" ||
    die "the archive $archive cannot be reached, or has no release '$release'"
ensure_base "$archive"

trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
root=$(mktemp -d "/var/tmp/lumenix-$release.XXXXXX")
cp -a "$base/." "$root/"
for fs in proc sys dev dev/pts; do
    mount --bind "/$fs" "$root/$fs"
    mounted+=("$root/$fs")
done
cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
git clone -q --no-hardlinks "$checkout" "$root/src/lumenix"
echo "Debian $(cat "$root/etc/debian_version") root $root: scripts/test.sh $*"

start=$(date +%s)
# In the background, so that Ctrl-C reaches the trap at once: apt and dpkg inside the root would let it pass,
# and a foreground run would go on until it ended by itself.
{
    status=0
    chroot "$root" /usr/bin/env -i HOME=/root LANG=C.UTF-8 PATH=/usr/sbin:/usr/bin:/sbin:/bin CI="${CI:-}" \
        /bin/bash -c 'cd /src/lumenix && scripts/test.sh "$@"' test.sh "$@" || status=$?
    echo "$status" >"$root/.test-status"
} 2>&1 | tee "$root/test-output.txt" &
wait $! || true
status=$(cat "$root/.test-status" 2>/dev/null || echo 1)
seconds=$(($(date +%s) - start))
wine_version=$(chroot "$root" wine --version 2>/dev/null || echo "no wine")
compiler=$(chroot "$root" dpkg-query -W -f='${Version}' g++-mingw-w64-x86-64-win32 2>/dev/null || echo "?")
summary=$("$checkout/scripts/ctest-counts.sh" "$root/test-output.txt")
[ "$summary" != "no test result" ] || summary+=" (exit status $status)"
echo "Debian $release leg ($wine_version, g++-mingw-w64 $compiler): $summary in $seconds s"
exit "$status"
