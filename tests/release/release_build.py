#!/usr/bin/env python3
"""Tests of what a release build gives, one case per run, run natively by ctest.

    release_build.py reproducible --source DIR --work DIR --version X.Y.Z.W
        Copies the checkout to two folders of different paths under DIR and builds Lumenix.exe in each, one
        after the other, with tests off and LUMENIX_VERSION=X.Y.Z.W. The two exes must be equal byte for byte
        and carry that number everywhere (version resource, manifest, cache folder name) and no other.
    release_build.py signing --work DIR --copy-to FILE
        Signs the first build of "reproducible" (in DIR) through LUMENIX_SIGN_PKCS12 with a throwaway root
        and code-signing certificate: the signature verifies against that root and breaks with one byte
        changed; a wrong password, a missing file or an unreachable time-stamping server fail the build and
        leave no exe; the password shows nowhere in the build. The signed exe is copied to FILE, for the
        process test that runs it.
    release_build.py version --exe FILE --version X.Y.Z.W
        The exe's version resource and manifest carry X.Y.Z.W.
    release_build.py rejects_bad_versions --source DIR --work DIR
        The configure step refuses malformed values of LUMENIX_VERSION and names the option; the splash
        options' script likewise refuses a LUMENIX_SPLASH_PROGRESS_COLOR that is no RRGGBB.

A failing check exits 1 and says what it expected.
"""

import argparse
import os
import re
import shutil
import struct
import subprocess
import sys
import time

DEFAULT_VERSION = "1.1.1.511"


class Failure(Exception):
    pass


def expect(condition, message):
    if not condition:
        raise Failure(message)
    print(f"ok    {message}")


def run(cmd, cwd=None, expect_status=0, env=None):
    result = subprocess.run(cmd, cwd=cwd, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    out = result.stdout.decode("utf-8", "replace")
    if expect_status is not None and result.returncode != expect_status:
        raise Failure(f"{' '.join(cmd)} exited with {result.returncode}, expected {expect_status}\n{out}")
    return result.returncode, out


# --- reading the exe ---------------------------------------------------------------------------------------

def fixed_file_info(data):
    """(file version, product version) of the VS_FIXEDFILEINFO, each as dotted text."""
    at = data.find(struct.pack("<I", 0xFEEF04BD))
    if at < 0:
        raise Failure("the exe has no version resource (VS_FIXEDFILEINFO)")
    file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<IIII", data, at + 8)
    dotted = lambda ms, ls: f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}"
    return dotted(file_ms, file_ls), dotted(product_ms, product_ls)


def version_string(data, key):
    """The value of a StringFileInfo entry: its UTF-16 key, padding to 32 bits, then the value."""
    name = (key + "\0").encode("utf-16-le")
    at = data.find(name)
    if at < 0:
        raise Failure(f"the version resource has no {key}")
    at += len(name)
    at += (4 - at % 4) % 4
    end = data.find(b"\0\0", at)
    while end >= 0 and (end - at) % 2:
        end = data.find(b"\0\0", end + 1)
    return data[at:end].decode("utf-16-le")


def manifest_version(data):
    found = re.search(rb'name="Corvane\.Lumenix"\s+version="([^"]*)"', data)
    if not found:
        raise Failure("the manifest has no assembly identity for Corvane.Lumenix")
    return found.group(1).decode()


def expect_release_number(exe, version):
    with open(exe, "rb") as f:
        data = f.read()
    expect(fixed_file_info(data) == (version, version), f"{exe}: FILEVERSION and PRODUCTVERSION are {version}")
    for key in ("FileVersion", "ProductVersion"):
        expect(version_string(data, key) == version, f"{exe}: the {key} string is {version}")
    expect(manifest_version(data) == version, f"{exe}: the manifest's assembly identity is {version}")
    return data


# --- cases -------------------------------------------------------------------------------------------------

def checkout_files(source):
    """The files of the checkout: what git tracks or would add, else everything but build outputs."""
    if os.path.isdir(os.path.join(source, ".git")):
        _, out = run(["git", "-C", source, "ls-files", "-z", "--cached", "--others", "--exclude-standard"])
        return [f for f in out.split("\0") if f and os.path.isfile(os.path.join(source, f))]
    files = []
    for root, dirs, names in os.walk(source):
        dirs[:] = [d for d in dirs if d not in ("build", ".git")]
        files += [os.path.relpath(os.path.join(root, n), source) for n in names]
    return files


def copy_checkout(source, target):
    shutil.rmtree(target, ignore_errors=True)
    for rel in checkout_files(source):
        os.makedirs(os.path.dirname(os.path.join(target, rel)), exist_ok=True)
        shutil.copy2(os.path.join(source, rel), os.path.join(target, rel))


def copy_checkout_to(args, name):
    target = os.path.join(args.work, name)
    copy_checkout(args.source, target)
    return target


def build_release(checkout, version):
    """Configures and builds Lumenix.exe the way a vendor does; returns its path."""
    run(["cmake", "--preset", "mingw-x64", "-DLUMENIX_BUILD_TESTS=OFF", f"-DLUMENIX_VERSION={version}"],
        cwd=checkout)
    started = time.monotonic()
    run(["cmake", "--build", "--preset", "mingw-x64", "--target", "Lumenix"], cwd=checkout)
    print(f"note  built in {checkout} in {time.monotonic() - started:.1f} s")
    return os.path.join(checkout, "build", "mingw-x64", "bin", "Lumenix.exe")


def differences(a, b, most=8):
    if len(a) != len(b):
        return [f"sizes {len(a)} and {len(b)}"]
    return [f"offset {i:#x}: {a[i]:#04x} {b[i]:#04x}" for i in range(len(a)) if a[i] != b[i]][:most]


def case_reproducible(args):
    first = build_release(copy_checkout_to(args, "a"), args.version)
    time.sleep(2)  # a different build time, whatever the file system's resolution
    second = build_release(copy_checkout_to(args, "second-checkout/with-a-longer-path"), args.version)
    with open(first, "rb") as fa, open(second, "rb") as fb:
        a, b = fa.read(), fb.read()
    expect(a == b, f"two builds from two checkouts give the same {len(a)} bytes"
                   + ("" if a == b else f" (differences: {', '.join(differences(a, b))})"))

    expect_release_number(first, args.version)
    expect(("v" + args.version).encode("utf-16-le") in a, f"the cache folder name v{args.version} is in the exe")
    for stale in (DEFAULT_VERSION.encode(), DEFAULT_VERSION.encode("utf-16-le")):
        expect(stale not in a, f"the exe holds no trace of the default number {stale!r}")


def make_signing_key(folder, password):
    """A throwaway root and a code-signing certificate it issued, bundled with its key as PKCS#12."""
    os.makedirs(folder, exist_ok=True)
    path = lambda name: os.path.join(folder, name)
    with open(path("code-signing.cnf"), "w") as f:
        f.write("basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n")
    run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=Lumenix Test Root",
         "-addext", "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign,cRLSign",
         "-keyout", path("root.key"), "-out", path("root.pem")])
    run(["openssl", "req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=Corvane Test Code Signing",
         "-keyout", path("vendor.key"), "-out", path("vendor.csr")])
    run(["openssl", "x509", "-req", "-days", "2", "-in", path("vendor.csr"), "-CA", path("root.pem"),
         "-CAkey", path("root.key"), "-CAcreateserial", "-extfile", path("code-signing.cnf"),
         "-out", path("vendor.pem")])
    run(["openssl", "pkcs12", "-export", "-inkey", path("vendor.key"), "-in", path("vendor.pem"),
         "-certfile", path("root.pem"), "-passout", f"pass:{password}", "-out", path("vendor.p12")])
    return path("vendor.p12"), path("root.pem")


def signed_build(checkout, exe, pkcs12, password, timestamp_url=""):
    """Relinks Lumenix.exe with signing on; returns the build's status and its whole (verbose) output."""
    _, configured = run(["cmake", "--preset", "mingw-x64", f"-DLUMENIX_SIGN_PKCS12={pkcs12}",
                         f"-DLUMENIX_SIGN_TIMESTAMP_URL={timestamp_url}"], cwd=checkout)
    if os.path.exists(exe):
        os.remove(exe)
    status, built = run(["cmake", "--build", "--preset", "mingw-x64", "--target", "Lumenix", "--verbose"],
                        cwd=checkout, expect_status=None, env=dict(os.environ, LUMENIX_SIGN_PASSWORD=password))
    return status, configured + built


def files_holding(folder, secret):
    found = []
    for root, _dirs, names in os.walk(folder):
        for name in names:
            with open(os.path.join(root, name), "rb") as f:
                if secret in f.read():
                    found.append(os.path.join(root, name))
    return found


def verify_signature(exe, root):
    status, _ = run(["osslsigncode", "verify", "-CAfile", root, "-in", exe], expect_status=None)
    return status == 0


def case_signing(args):
    checkout = os.path.join(args.work, "a")
    exe = os.path.join(checkout, "build", "mingw-x64", "bin", "Lumenix.exe")
    expect(os.path.isfile(exe), f"the unsigned build of release.reproducible is there: {exe}")
    password = "Corvane signs 7"
    pkcs12, root = make_signing_key(os.path.join(args.work, "signing"), password)

    failures = {
        "a wrong password": (pkcs12, "not the password", "", "Wrong password"),
        "a missing PKCS#12 file": (pkcs12 + ".missing", password, "", "Failed to read PKCS#12 file"),
        "an unreachable time-stamping server": (pkcs12, password, "http://127.0.0.1:9/", "127.0.0.1:9"),
    }
    for what, (key, secret, url, reason) in failures.items():
        status, out = signed_build(checkout, exe, key, secret, url)
        expect(status != 0 and reason in out, f"{what} fails the build with osslsigncode's reason")
        expect(not os.path.exists(exe) and not os.path.exists(exe + ".signing"),
               f"after {what} no exe, signed or not, is left behind")

    status, out = signed_build(checkout, exe, pkcs12, password)
    expect(status == 0, "the build signs with the right password" + ("" if status == 0 else f":\n{out}"))
    expect(verify_signature(exe, root), "the signature verifies against the throwaway root")
    expect(password not in out, "the password is in no command line or message of the build")
    leaks = files_holding(os.path.join(checkout, "build"), password.encode())
    expect(not leaks, "the password is in no file of the build tree" + (f": {leaks}" if leaks else ""))

    tampered = os.path.join(args.work, "signing", "tampered.exe")
    with open(exe, "rb") as f:
        data = bytearray(f.read())
    data[len(data) // 3] ^= 0x01
    with open(tampered, "wb") as f:
        f.write(data)
    expect(not verify_signature(tampered, root), "one changed byte breaks the signature")

    os.makedirs(os.path.dirname(args.copy_to), exist_ok=True)
    shutil.copyfile(exe, args.copy_to)


def case_version(args):
    expect_release_number(args.exe, args.version)


def case_rejects_bad_versions(args):
    for value in ("1.2", "a.b.c.d", "70000.0.0.0", "1.1.1.511.1", "01.1.1.511", "1.1.1.99999999999"):
        scratch = os.path.join(args.work, "configure")
        shutil.rmtree(scratch, ignore_errors=True)
        _, out = run(["cmake", "-S", args.source, "-B", scratch, f"-DLUMENIX_VERSION={value}"], expect_status=None)
        expect(f'LUMENIX_VERSION is "{value}"' in out and "Configuring incomplete" in out,
               f"the configure step refuses {value} and names the option")
    expect("at most 65535" in out, "a number over 65535 is refused for its size")
    # Both ends of a number, checked by the version script alone; one past the top is refused.
    script = os.path.join(args.source, "cmake", "LumenixVersion.cmake")
    for value, status in (("0.0.0.0", 0), ("65535.65535.65535.65535", 0), ("1.1.1.65536", 1)):
        _, out = run(["cmake", f"-DLUMENIX_VERSION={value}", "-P", script], expect_status=status)
        expect(status == 0 or "at most 65535" in out, f"{value} is refused for its size")
    # The bar's colour: six hexadecimal digits, nothing around them.
    script = os.path.join(args.source, "cmake", "SplashOptions.cmake")
    for value, status in (("28C8D2", 0), ("ff00aa", 0), ("#28C8D2", 1), ("0x28C8D2", 1), ("28C8D", 1), ("28C8DG", 1)):
        _, out = run(["cmake", f"-DLUMENIX_SPLASH_PROGRESS_COLOR={value}", "-P", script], expect_status=status)
        expect(status == 0 or f'LUMENIX_SPLASH_PROGRESS_COLOR is "{value}"' in out,
               f"the colour {value} is refused and the option named")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("case", choices=["reproducible", "signing", "version", "rejects_bad_versions"])
    parser.add_argument("--source")
    parser.add_argument("--work")
    parser.add_argument("--exe")
    parser.add_argument("--version")
    parser.add_argument("--copy-to")
    args = parser.parse_args()
    try:
        {"reproducible": case_reproducible, "signing": case_signing, "version": case_version,
         "rejects_bad_versions": case_rejects_bad_versions}[args.case](args)
    except Failure as e:
        print(f"FAIL  {e}", flush=True)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
