#!/usr/bin/env python3
"""Tests of what a release build gives, one case per run, run natively by ctest.

    release_build.py reproducible --source DIR --work DIR --version X.Y.Z.W --copy-to FILE
        Copies the checkout to two folders of different paths and builds Lumenix.exe in each, one after the
        other, with tests off and LUMENIX_VERSION=X.Y.Z.W. The two exes must be equal byte for byte and carry
        that number everywhere (version resource, manifest, cache folder name) and no other. The first one
        is copied to FILE for the process test that runs it.
    release_build.py version --exe FILE --version X.Y.Z.W
        The exe's version resource and manifest carry X.Y.Z.W.
    release_build.py rejects_bad_versions --source DIR --work DIR
        The configure step refuses malformed values of LUMENIX_VERSION and names the option.

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


def run(cmd, cwd=None, expect_status=0):
    result = subprocess.run(cmd, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
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
    os.makedirs(os.path.dirname(args.copy_to), exist_ok=True)
    shutil.copyfile(first, args.copy_to)


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


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("case", choices=["reproducible", "version", "rejects_bad_versions"])
    parser.add_argument("--source")
    parser.add_argument("--work")
    parser.add_argument("--exe")
    parser.add_argument("--version")
    parser.add_argument("--copy-to")
    args = parser.parse_args()
    try:
        {"reproducible": case_reproducible, "version": case_version,
         "rejects_bad_versions": case_rejects_bad_versions}[args.case](args)
    except Failure as e:
        print(f"FAIL  {e}", flush=True)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
