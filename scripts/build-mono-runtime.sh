#!/usr/bin/env bash
# Builds a real CLR for the launcher's tests from Debian's own source packages, with the project's patches
# (tests/mono-runtime/patches/mono and .../wine):
# - Mono, cross-compiled for 64-bit Windows together with its Windows class libraries, laid out as Wine's
#   mscoree.dll looks for a runtime (bin/libmono-2.0-x86_64.dll, lib/mono/4.5, lib/mono/gac, etc/mono);
# - Wine's own hosting library mscoree.dll, rebuilt from Wine's source with its patches (wine/mscoree.dll), and a
#   second build of it as the hosting library of a machine with only the CLR 2.0 generation, without the
#   CLRCreateInstance export (wine-clr2/mscoree.dll; the patches named clr2-*.patch go into that build alone);
# - Wine's InfoTech storage component itss.dll, rebuilt from the same source with its patches (itss/itss.dll);
# - Wine's TrueType fonts (fonts/), which a prefix needs in its Windows font folder for the class libraries'
#   GDI+ text: Wine has no Microsoft Sans Serif and stands in Tahoma for it.
# tests/platform/wine-env.sh puts them into a prefix when LX_MONO_RUNTIME names the folder (the second hosting
# library in place of the first with LX_MONO_HOSTING=wine-clr2).
#
#   scripts/build-mono-runtime.sh
#
# The two halves are kept apart in $LX_MONO_CACHE (default /var/cache/lumenix-mono), each in a folder named
# after its source version and a hash of its own patches and of the functions of this script that build it,
# and reused while they are there: a Wine patch rebuilds the Wine parts in a minute, not the runtime. The
# runtime's folder joins them through links. The sources come through a private apt configuration with deb-src
# lines for this machine's own archive: the machine's apt configuration stays untouched. The last line printed
# is the runtime's folder.
set -euo pipefail

checkout=$(cd "$(dirname "$0")/.." && pwd)
patches="$checkout/tests/mono-runtime/patches"
cache=${LX_MONO_CACHE:-/var/cache/lumenix-mono}
# What the build needs beyond the project's own packages: the tools that unpack and patch a source package,
# Wine's compiler driver and headers, and Wine's fonts.
build_packages=(dpkg-dev patch xz-utils libwine-dev wine64-tools fonts-wine)
work=""
step_log=""
mono_version=""
wine_version=""

# shellcheck source=scripts/debian-archive.sh
. "$checkout/scripts/debian-archive.sh"

die() {
    echo "build-mono-runtime.sh: $*" >&2
    exit 1
}

# Runs one step of the build with its output in a log of its own; a failing step names itself and its log.
run_step() {
    local name=$1
    shift
    step_log="$work/logs/$name.log"
    local started
    started=$(date +%s)
    echo "  $name ..."
    if ! "$@" >"$step_log" 2>&1; then
        tail -n 25 "$step_log" >&2
        die "step '$name' failed (log: $step_log)"
    fi
    echo "  $name: $(($(date +%s) - started)) s"
}

release_codename() {
    sed -n 's/^VERSION_CODENAME=//p' /etc/os-release
}

# An apt configuration of its own under $1: deb-src lines for the archive and release, its own lists and cache.
write_apt_config() {
    local dir=$1 archive=$2 release=$3
    mkdir -p "$dir/sources.list.d" "$dir/lists/partial" "$dir/cache/archives/partial"
    : >"$dir/sources.list"
    printf 'Types: deb-src\nURIs: %s\nSuites: %s\nComponents: main\nSigned-By: %s\n' \
        "$archive" "$release" /usr/share/keyrings/debian-archive-keyring.gpg >"$dir/sources.list.d/source.sources"
    cat >"$dir/apt.conf" <<EOF
Dir::Etc::sourcelist "$dir/sources.list";
Dir::Etc::sourceparts "$dir/sources.list.d";
Dir::State::lists "$dir/lists";
Dir::Cache "$dir/cache";
Dir::Etc::preferencesparts "$dir/preferences.d";
EOF
    mkdir -p "$dir/preferences.d"
}

# The newest version of a source package that the archive offers.
source_version() {
    APT_CONFIG="$work/apt/apt.conf" apt-cache showsrc "$1" 2>/dev/null | sed -n 's/^Version: //p' | sort -V | tail -n 1
}

# build_key PATCH_FOLDER FUNCTION...: the patches of one half and the functions that build it decide its result
# as much as the sources do; where the checkout lies, and the rest of this script, do not.
build_key() {
    local folder=$1 patch
    shift
    {
        declare -f "$@"
        for patch in "$patches/$folder"/*.patch; do
            echo "== ${patch#"$patches"/}"
            cat "$patch"
        done
    } | sha256sum | cut -c1-16
}

# fetch_source PACKAGE VERSION FOLDER: the unpacked source package, Debian's own changes applied.
fetch_source() {
    local package=$1 version=$2 folder=$3
    (cd "$work" && APT_CONFIG="$work/apt/apt.conf" apt-get source -q --download-only "$package=$version")
    dpkg-source -x "$work/${package}_${version#*:}.dsc" "$folder"
}

# apply_patches FOLDER SOURCE: the numbered patches of FOLDER (clr2-*.patch go into the second hosting library).
apply_patches() {
    local patch
    for patch in "$patches/$1"/[0-9]*.patch; do
        echo "== $(basename "$patch")"
        patch -p1 --forward --batch -d "$2" <"$patch"
    done
}

configure_runtime() {
    cd "$src"
    ./configure --host=x86_64-w64-mingw32 --prefix=/opt/lxmono --disable-mcs-build --with-sgen=yes --disable-boehm \
        --disable-btls --disable-nls --enable-llvm=no --with-mcs-docs=no --enable-static-gcc-libs
}

# The class libraries are built by Debian's own mcs and mono (the build profile), then for Windows: configure
# writes no mcs/build/config.make when it cross-compiles.
write_class_library_config() {
    local corlib_version
    corlib_version=$(sed -n 's/^#define MONO_CORLIB_VERSION "\(.*\)"$/\1/p' "$src/config.h")
    [ -n "$corlib_version" ] || { echo "no MONO_CORLIB_VERSION in $src/config.h"; return 1; }
    cat >"$src/mcs/build/config.make" <<EOF
prefix=
exec_prefix=
mono_libdir=\${exec_prefix}/lib
RUNTIME = mono
INSTALL = /usr/bin/install
VERSION = ${mono_version%%+*}
MONO_VERSION = ${mono_version%%+*}
MONO_CORLIB_VERSION = $corlib_version
BUILD_PLATFORM = linux
HOST_PLATFORM ?= linux
MCS_MODE = 1
DISABLE_MCS_DOCS = yes
DEFAULT_PROFILE = net_4_x
MONO_NATIVE_SUPPORTED = false
ENABLE_COMPILER_SERVER ?= 0
EOF
}

build_runtime() {
    make -C "$src/mono" -j"$(nproc)"
}

# The source package comes without the class libraries' test sources: NO_TEST leaves the tests out. Some of
# their makefiles name the profile's output folder without its platform suffix. RabbitMQ.Client runs a tool of
# its own, built for Windows, to make its sources: it and Mono.Messaging.RabbitMQ on top of it are left out.
class_library_make() {
    make -C "$src/mcs/class" PROFILE=net_4_x HOST_PLATFORM=win32 NO_TEST=1 \
        'net_4_x_PARALLEL_SUBDIRS=$(filter-out RabbitMQ.Client Mono.Messaging.RabbitMQ,$(net_4_x_parallel_dirs))' "$@"
}

build_class_libraries() {
    make -C "$src/mcs" PROFILE=build
    mkdir -p "$src/mcs/class/lib/net_4_x-win32"
    ln -sfn net_4_x-win32 "$src/mcs/class/lib/net_4_x"
    class_library_make
}

# Wine's mscoree.dll on its own, with Wine's compiler driver and headers (libwine-dev, wine64-tools); the few
# private headers it needs come from the source.
# build_hosting_library [FOLDER]: the sources in FOLDER (default: Wine's own dlls/mscoree).
build_hosting_library() {
    local dll=${1:-"$wine_src/dlls/mscoree"}
    winegcc -b x86_64-w64-mingw32 -shared -O2 -D__WINESRC__ -DINSTALL_DATADIR='"/usr/share"' \
        -idirafter "$wine_src/include" -Wb,--prefer-native -o "$dll/mscoree.dll" "$dll/mscoree.spec" \
        "$dll"/*.c -ldbghelp -luuid -lshell32 -ladvapi32 -lole32 -loleaut32 -lshlwapi
}

# The same sources, already patched, in a copy of their own with the clr2-*.patch files on top.
build_clr2_hosting_library() {
    rm -rf "$work/mscoree-clr2"
    cp -a "$wine_src/dlls/mscoree" "$work/mscoree-clr2"
    local patch
    for patch in "$patches"/wine/clr2-*.patch; do
        echo "== $(basename "$patch")"
        patch -p3 --forward --batch -d "$work/mscoree-clr2" <"$patch"
    done
    build_hosting_library "$work/mscoree-clr2"
}

# Wine's InfoTech storage component on its own, the same way. Its registration stays the prefix's own.
build_storage_component() {
    local dll="$wine_src/dlls/itss"
    winegcc -b x86_64-w64-mingw32 -shared -O2 -D__WINESRC__ -idirafter "$wine_src/include" -Wb,--prefer-native \
        -o "$dll/itss.dll" "$dll/itss.spec" "$dll"/*.c -luuid -lurlmon -lshlwapi -lole32
}

# The part of the folder Wine's mscoree takes that Mono makes: the runtime DLL under bin, the class libraries in
# the GAC and lib/mono/4.5, the configuration under etc/mono.
lay_out_runtime() {
    local out=$1
    mkdir -p "$out/bin" "$out/etc/mono/4.5"
    x86_64-w64-mingw32-strip -o "$out/bin/libmono-2.0-x86_64.dll" "$src/mono/mini/.libs/libmonosgen-2.0.dll"
    class_library_make install DESTDIR="$out"
    cp "$src/data/config" "$out/etc/mono/config"
    cp "$src/runtime/etc/mono/4.5/machine.config" "$src/runtime/etc/mono/4.5/web.config" "$out/etc/mono/4.5/"
}

# The part that Wine makes: the two hosting libraries, the storage component and the fonts.
lay_out_wine_parts() {
    local out=$1
    mkdir -p "$out/wine" "$out/wine-clr2" "$out/itss" "$out/fonts"
    x86_64-w64-mingw32-strip -o "$out/wine/mscoree.dll" "$wine_src/dlls/mscoree/mscoree.dll"
    x86_64-w64-mingw32-strip -o "$out/wine-clr2/mscoree.dll" "$work/mscoree-clr2/mscoree.dll"
    x86_64-w64-mingw32-strip -o "$out/itss/itss.dll" "$wine_src/dlls/itss/itss.dll"
    cp /usr/share/wine/fonts/*.ttf "$out/fonts/"
}

# The functions that decide each half (see build_key).
runtime_functions=(fetch_source apply_patches configure_runtime write_class_library_config build_runtime
    class_library_make build_class_libraries lay_out_runtime)
wine_functions=(fetch_source apply_patches build_hosting_library build_clr2_hosting_library build_storage_component
    lay_out_wine_parts)

# finish_half FOLDER LAY_OUT_FUNCTION: lays a half out in FOLDER.new and puts it in place, marked complete.
finish_half() {
    local out=$1
    rm -rf "$out" "$out.new"
    run_step "$2" "$2" "$out.new"
    mv "$out.new" "$out"
    date >"$out/.complete"
}

build_runtime_half() {
    src="$work/mono"
    run_step fetch-mono-source fetch_source mono "$mono_version" "$src"
    run_step patch-mono apply_patches mono "$src"
    run_step configure configure_runtime
    run_step write-class-library-config write_class_library_config
    run_step build-runtime build_runtime
    run_step build-class-libraries build_class_libraries
    finish_half "$1" lay_out_runtime
}

build_wine_half() {
    wine_src="$work/wine"
    run_step fetch-wine-source fetch_source wine "$wine_version" "$wine_src"
    run_step patch-wine apply_patches wine "$wine_src"
    run_step build-hosting-library build_hosting_library
    run_step build-clr2-hosting-library build_clr2_hosting_library
    run_step build-storage-component build_storage_component
    finish_half "$1" lay_out_wine_parts
}

# join_halves OUT RUNTIME_HALF WINE_HALF: the runtime's folder, whose entries link to the two halves.
join_halves() {
    local out=$1 entry
    rm -rf "$out.new"
    mkdir -p "$out.new"
    for entry in bin lib etc; do ln -s "$2/$entry" "$out.new/$entry"; done
    for entry in wine wine-clr2 itss fonts; do ln -s "$3/$entry" "$out.new/$entry"; done
    rm -rf "$out"
    mv "$out.new" "$out"
    date >"$out/.complete"
}

main() {
    local release archive runtime_key wine_key runtime_half wine_half out started
    started=$(date +%s)
    [ -d "$patches/mono" ] && [ -d "$patches/wine" ] || die "no patch folders $patches/mono and $patches/wine"
    release=$(release_codename)
    [ -n "$release" ] || die "no VERSION_CODENAME in /etc/os-release"
    archive=$(find_archive)
    [ -n "$archive" ] || die "no Debian archive in /etc/apt/sources.list.d/*.sources or /etc/apt/sources.list"

    mkdir -p "$cache"
    # One build at a time: a second run waits for the first and then finds what it built.
    exec 9>"$cache/.lock"
    flock 9
    rm -rf --one-file-system "$cache"/build.* # a failed build's work, kept for its logs until now
    work=$(mktemp -d "$cache/build.XXXXXX")
    trap 'rm -rf --one-file-system "$work"' EXIT
    mkdir -p "$work/logs"
    write_apt_config "$work/apt" "$archive" "$release"
    APT_CONFIG="$work/apt/apt.conf" apt-get update -qq >"$work/logs/apt-update.log" 2>&1 ||
        die "the source lists of $archive ($release) could not be read (log: $work/logs/apt-update.log)"
    mono_version=$(source_version mono)
    [ -n "$mono_version" ] || die "the archive $archive has no source package 'mono' for $release"
    wine_version=$(source_version wine)
    [ -n "$wine_version" ] || die "the archive $archive has no source package 'wine' for $release"
    runtime_key=$(build_key mono "${runtime_functions[@]}")
    wine_key=$(build_key wine "${wine_functions[@]}")
    runtime_half="$cache/runtime-${mono_version//[:+~]/_}-$runtime_key"
    wine_half="$cache/wine-parts-${wine_version//[:+~]/_}-$wine_key"
    out="$cache/mono-${mono_version//[:+~]/_}-wine-${wine_version//[:+~]/_}-$runtime_key-$wine_key"
    if [ -f "$out/.complete" ] && [ -f "$runtime_half/.complete" ] && [ -f "$wine_half/.complete" ]; then
        echo "Mono runtime $mono_version with Wine $wine_version's parts (patches $runtime_key, $wine_key): $out," \
            "built $(date -r "$out/.complete" '+%F %T')"
        echo "$out"
        return
    fi

    "$checkout/scripts/install-deps.sh" "${build_packages[@]}"
    # Kept when the build fails, so that its logs can be read.
    trap - EXIT
    if [ ! -f "$runtime_half/.complete" ]; then
        echo "Building the Mono runtime $mono_version from Debian's source with the patches in $patches/mono" \
            "(about 20 minutes on 2 cores)"
        build_runtime_half "$runtime_half"
    fi
    if [ ! -f "$wine_half/.complete" ]; then
        echo "Building Wine $wine_version's mscoree.dll and itss.dll from Debian's source with the patches in" \
            "$patches/wine (about a minute)"
        build_wine_half "$wine_half"
    fi
    join_halves "$out" "$runtime_half" "$wine_half"
    rm -rf --one-file-system "$work"
    echo "Built in $(($(date +%s) - started)) s: Mono runtime $mono_version with Wine $wine_version's parts"
    echo "$out"
}

main "$@"
