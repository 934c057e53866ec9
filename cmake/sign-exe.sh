#!/usr/bin/env bash
# Signs an exe in place: Authenticode, SHA-256, with the code-signing key and chain of a PKCS#12 file.
#   sign-exe.sh OSSLSIGNCODE PKCS12 DESCRIPTION TIMESTAMP_URL EXE
# TIMESTAMP_URL may be empty (no time stamp); otherwise it names an RFC 3161 server.
# The PKCS#12 password is read from LUMENIX_SIGN_PASSWORD (unset: empty) and reaches osslsigncode through a
# pipe, never through a command line or a file. On any failure the exe is removed as well: the build output is
# never an unsigned or half-signed exe, and the next build links and signs it again.
set -uo pipefail

if [ $# -ne 5 ]; then
    echo "usage: sign-exe.sh OSSLSIGNCODE PKCS12 DESCRIPTION TIMESTAMP_URL EXE" >&2
    exit 2
fi
tool=$1 pkcs12=$2 description=$3 timestamp_url=$4 exe=$5
signed="$exe.signing"

fail() {
    rm -f "$signed" "$exe"
    echo "sign-exe: $1; $exe was removed" >&2
    exit 1
}

args=(sign -pkcs12 "$pkcs12" -readpass /dev/stdin -h sha256 -n "$description" -in "$exe" -out "$signed")
[ -n "$timestamp_url" ] && args+=(-ts "$timestamp_url")
printf '%s' "${LUMENIX_SIGN_PASSWORD-}" | "$tool" "${args[@]}" >/dev/null ||
    fail "osslsigncode could not sign with $pkcs12 (its reason is above)"
mv -f "$signed" "$exe" || fail "could not replace $exe with its signed copy"
echo "sign-exe: $exe signed with $pkcs12${timestamp_url:+, time stamp from $timestamp_url}"
