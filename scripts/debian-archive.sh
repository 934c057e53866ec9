# Sourced by the scripts that reach Debian's archive: find_archive prints the first archive (not the security
# archive) that this machine's apt sources name, without a trailing slash, or nothing.
find_archive() {
    local url
    url=$(cat /etc/apt/sources.list.d/*.sources 2>/dev/null |
        awk '/^URIs:/ { for (i = 2; i <= NF; i++) print $i }' | grep -v -- '-security' | head -n 1 || true)
    if [ -z "$url" ] && [ -f /etc/apt/sources.list ]; then
        url=$(awk '$1 == "deb" { for (i = 2; i <= NF; i++) if ($i ~ /:\/\//) { print $i; break } }' \
            /etc/apt/sources.list | grep -v -- '-security' | head -n 1 || true)
    fi
    printf '%s' "${url%/}"
}
