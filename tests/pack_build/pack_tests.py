#!/usr/bin/env python3
"""Tests of the pack build tooling (packbuild/), one case per run, run natively by ctest.

    pack_tests.py CASE --packbuild DIR --work DIR [--sample DIR] [--pack FILE] [--pack-source DIR]
                  [--itsfpack PATH] [--extract-chmlib PATH]

Every case builds into its own folder under --work, which it clears first. A failing check exits 1 and
says what it expected.
"""

import argparse
import json
import os
import shutil
import struct
import subprocess
import sys
import time

ARGS = None


class Failure(Exception):
    pass


def expect(condition, message):
    if not condition:
        raise Failure(message)
    print(f"ok    {message}")


def script(name):
    return os.path.join(ARGS.packbuild, name)


def run(cmd, expect_status=0):
    result = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    out, err = result.stdout.decode("utf-8", "replace"), result.stderr.decode("utf-8", "replace")
    if expect_status is not None and result.returncode != expect_status:
        raise Failure(f"{' '.join(cmd)} exited with {result.returncode}, expected {expect_status}\n"
                      f"--- stdout\n{out}--- stderr\n{err}")
    return result.returncode, out, err


def tool_args():
    extra = []
    if ARGS.itsfpack:
        extra += ["--itsfpack", ARGS.itsfpack]
    if ARGS.extract_chmlib:
        extra += ["--extract-chmlib", ARGS.extract_chmlib]
    return extra


def build_pack(source, output, *options, expect_status=0):
    cmd = [sys.executable, script("build-pack.py"), *tool_args(), *options, source, output]
    return run(cmd, expect_status)


def verify_pack(pack, source, expect_status=0):
    extra = ["--extract-chmlib", ARGS.extract_chmlib] if ARGS.extract_chmlib else []
    return run([sys.executable, script("build-pack.py"), "--verify", *extra, pack, source], expect_status)


def directory(pack, expect_status=0):
    _, out, _ = run([sys.executable, script("itsf-check.py"), "--json", pack], expect_status)
    return json.loads(out)


def work_dir(name):
    path = os.path.join(ARGS.work, name)
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path)
    return path


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def source_files(folder):
    files = []
    for root, _, names in os.walk(folder):
        for name in names:
            files.append("/" + os.path.relpath(os.path.join(root, name), folder).replace(os.sep, "/"))
    return sorted(files)


def expect_listed(listing, folder):
    """The directory lists exactly the folder's files, beside folder entries and the format's own '::' ones."""
    names = {e["name"] for e in listing["entries"]}
    files = source_files(folder)
    missing = [f for f in files if f not in names]
    expect(not missing, f"the directory lists all {len(files)} files of {folder}"
                        + (f" (missing: {missing[:5]})" if missing else ""))
    extra = sorted(n for n in names - set(files) if not n.startswith("::") and not n.endswith("/"))
    expect(not extra, "the directory lists nothing else" + (f" (also: {extra[:6]})" if extra else ""))


def small_files(folder, count):
    """count small files of the kinds a product carries, some empty, some without an extension."""
    kinds = [".dll", ".dll.config", ".xml", ".resources", "", ".txt", ".pdb"]
    for i in range(count):
        kind = kinds[i % len(kinds)]
        name = f"Corvane.Module{i:04d}{kind}" if kind else f"LICENSE-{i:04d}"
        size = 0 if i % 97 == 0 else 40 + (i * 37) % 900
        body = bytes((i * 7 + j * 13) % 251 for j in range(size))
        write(os.path.join(folder, name), body)


# --- cases -------------------------------------------------------------------------------------------------

def case_sample_pack():
    """The sample application packs, verifies byte-equal, and keeps its assemblies at the root."""
    out = work_dir("sample_pack")
    pack = os.path.join(out, "ProductContent.chm")
    _, stdout, _ = build_pack(ARGS.sample, pack)
    expect("verified with extract_chmLib" in stdout, "build-pack verified the sample pack with extract_chmLib")
    with open(os.path.join(out, "ProductContent.size"), "rb") as f:
        recorded = f.read()
    files = sum(os.path.getsize(os.path.join(ARGS.sample, *rel.split("/"))) for rel in source_files(ARGS.sample))
    expect(recorded == str(files).encode("ascii"), f"ProductContent.size records the files' {files} bytes "
                                                   f"in digits alone ({recorded!r})")
    listing = directory(pack)
    expect(not listing["problems"], "the sample pack's directory passes every check")
    expect_listed(listing, ARGS.sample)
    names = {e["name"] for e in listing["entries"]}
    for dll in ("/Corvane.Platform.Tessarine.UI.Standalone.dll", "/Lumenix.dll"):
        expect(dll in names, f"{dll} lies at the root of the pack")
    expect(not [n for n in names if n.lower().endswith(".hhp")], "the project file is not packed")


def case_product_pack_file():
    """The pack that the build embeds: valid directory, byte-equal to the folder it was made from."""
    expect(os.path.isfile(ARGS.pack), f"the build produced {ARGS.pack}")
    listing = directory(ARGS.pack)
    expect(not listing["problems"], "the embedded pack's directory passes every check")
    source = ARGS.pack_source or ARGS.sample
    expect_listed(listing, source)
    _, stdout, _ = verify_pack(ARGS.pack, source)
    expect("byte-equal" in stdout, "every file reads back byte-equal with extract_chmLib")


def case_many_files():
    """More than 300 files: several listing chunks, the first of them named in the ITSP header, all byte-equal."""
    out = work_dir("many_files")
    folder = os.path.join(out, "content")
    small_files(folder, 320)
    pack = os.path.join(out, "many.chm")
    _, stdout, _ = build_pack(folder, pack)
    expect("verified with extract_chmLib" in stdout, "all 320 files read back byte-equal with extract_chmLib")

    listing = directory(pack)
    header = listing["header"]
    listing_chunks = [c for c in listing["chunks"] if c["type"] == "PMGL"]
    expect(len(listing_chunks) >= 2, f"the directory spans several listing chunks ({len(listing_chunks)})")
    head = [c["index"] for c in listing_chunks if c["prev"] == -1]
    expect(header["first_listing_chunk"] == head[0],
           f"the ITSP first listing chunk ({header['first_listing_chunk']}) starts the listing ({head[0]})")
    expect(not listing["problems"], "the directory passes every check")
    expect_listed(listing, folder)


def case_subfolders():
    """Files in sub-folders (two levels) and names that a help project file could not list keep their
    paths and read back byte-equal, and every folder level is listed."""
    out = work_dir("subfolders")
    folder = os.path.join(out, "content")
    write(os.path.join(folder, "Lumenix.dll"), b"MZ" + bytes(range(256)) * 8)
    write(os.path.join(folder, "app.config"), b"<configuration />\n")
    write(os.path.join(folder, "de", "Lumenix.resources.dll"), b"MZ-de" * 300)
    write(os.path.join(folder, "themes", "dark", "palette"), b"\x00\x01\x02" * 100)
    write(os.path.join(folder, "themes", "dark", "empty.bin"), b"")
    # The last file written: the writer as packaged dropped the byte of a one-byte last file.
    write(os.path.join(folder, "themes", "dark", "zz-last.bin"), b"\x01")
    write(os.path.join(folder, ";notes.txt"), b"semicolon")
    write(os.path.join(folder, "[OPTIONS]"), b"brackets")
    pack = os.path.join(out, "nested.chm")
    _, stdout, _ = build_pack(folder, pack)
    expect("verified with extract_chmLib" in stdout, "the nested folder reads back byte-equal")
    listing = directory(pack)
    expect(not listing["problems"], "the directory passes every check")
    names = {e["name"] for e in listing["entries"]}
    for name in ("/de/Lumenix.resources.dll", "/themes/dark/palette", "/themes/dark/empty.bin",
                 "/themes/dark/zz-last.bin", "/;notes.txt", "/[OPTIONS]"):
        expect(name in names, f"{name} keeps its path")
    expect("every folder level listed by enum_chmLib" in stdout, "libchm's enumeration lists every folder level")
    expect("/themes/" in names, "a folder that holds only a folder has a directory entry of its own")
    expect_listed(listing, folder)


def case_path_budget():
    """A file whose path in the cache would pass what Windows allows under the assumed TEMP is refused by name
    and length before anything is written; a shorter TEMP lets the same folder through."""
    out = work_dir("path_budget")
    folder = os.path.join(out, "content")
    deep = "/".join(["plugins", "Corvane.Reporting.Designer", "templates", "invoices", "quarterly"])
    name = "Corvane.Reporting.Designer.Templates.Invoices.Quarterly.Summary.Landscape.Compact.Extended.resources.dll"
    write(os.path.join(folder, *deep.split("/"), name), b"MZ")
    write(os.path.join(folder, "Lumenix.dll"), b"MZ")
    pack = os.path.join(out, "budget.chm")
    _, _, err = build_pack(folder, pack, "--cache-folder", "Corvane\\Lumenix\\v1.1.1.511\\ProductContentCache",
                           expect_status=1)
    expect(f"'{deep}/{name}': its path in the content cache would be 264 characters long under a TEMP of 48" in err,
           "the file and its path's length are named")
    expect(not os.path.exists(pack), "no pack is written")
    build_pack(folder, pack, "--temp-length", "20")
    expect(os.path.isfile(pack), "under a TEMP of 20 characters the same folder packs")


def case_verify_detects_missing():
    """A container whose listing cannot be walked fails the verification, naming the missing files."""
    out = work_dir("verify_missing")
    folder = os.path.join(out, "content")
    small_files(folder, 300)
    pack = os.path.join(out, "broken.chm")
    build_pack(folder, pack)
    # Break the field the way the unmended writer did: one chunk too far.
    with open(pack, "r+b") as f:
        data = f.read()
        itsp = struct.unpack_from("<Q", data, 0x48)[0]
        first = struct.unpack_from("<i", data, itsp + 0x20)[0]
        f.seek(itsp + 0x20)
        f.write(struct.pack("<i", first + 1))
    listing = directory(pack, expect_status=1)
    expect(any("first listing chunk" in p for p in listing["problems"]), "itsf-check reports the wrong field")
    _, _, err = verify_pack(pack, folder, expect_status=1)
    expect("verification with extract_chmLib failed" in err, "the verification fails")
    expect("'Corvane.Module0000.dll' is missing from the container" in err, "the message names a missing file")


def case_verify_detects_difference():
    """A file that differs from what the pack holds fails the verification, naming that file."""
    out = work_dir("verify_difference")
    folder = os.path.join(out, "content")
    write(os.path.join(folder, "Lumenix.dll"), b"MZ" + b"lumenix" * 500)
    write(os.path.join(folder, "Corvane.Platform.Tessarine.UI.Standalone.dll"), b"MZ" + b"host" * 500)
    pack = os.path.join(out, "pack.chm")
    build_pack(folder, pack)
    write(os.path.join(folder, "Lumenix.dll"), b"MZ" + b"lumenix" * 499 + b"LUMENIX")
    _, _, err = verify_pack(pack, folder, expect_status=1)
    expect("'Lumenix.dll' differs from the source file" in err, "the message names the file that differs")
    expect("Corvane.Platform" not in err, "the file that matches is not named")


def case_build_fails_on_dropped_file():
    """A writer that leaves a file out, or adds one of its own, fails the build, naming each file, and leaves
    no pack and no size record."""
    out = work_dir("dropped_file")
    folder = os.path.join(out, "content")
    write(os.path.join(folder, "Lumenix.dll"), b"MZ" + b"lumenix" * 100)
    write(os.path.join(folder, "Lumenix.dll.config"), b"<configuration />\n")
    # A stand-in writer: drops Lumenix.dll.config from the list and adds a note of its own, then runs the
    # real one.
    real = ARGS.itsfpack or shutil.which("itsfpack")
    wrapper = os.path.join(out, "dropping-itsfpack")
    with open(wrapper, "w") as f:
        f.write(f"""#!{sys.executable}
import os, subprocess, sys
list_file, content = sys.argv[1], sys.argv[2]
names = [n for n in open(list_file, encoding="utf-8").read().splitlines() if n != "Lumenix.dll.config"]
open(os.path.join(content, "_#_README_#_"), "w").write("made by a tool")
open(list_file, "w", encoding="utf-8").write("\\n".join(names + ["_#_README_#_"]) + "\\n")
sys.exit(subprocess.call([{real!r}] + sys.argv[1:]))
""")
    os.chmod(wrapper, 0o755)
    pack = os.path.join(out, "pack.chm")
    write(os.path.join(out, "pack.size"), b"123")  # an earlier build's record, which must not outlive it
    cmd = [sys.executable, script("build-pack.py"), "--itsfpack", wrapper, folder, pack]
    if ARGS.extract_chmlib:
        cmd[2:2] = ["--extract-chmlib", ARGS.extract_chmlib]
    _, _, err = run(cmd, expect_status=1)
    expect("'Lumenix.dll.config' is missing from the container" in err, "the build names the dropped file")
    expect("'_#_README_#_' is in the container but is no file of the folder" in err,
           "the build names the entry that is no file of the folder")
    expect("'Lumenix.dll' " not in err, "the file that is there is not named")
    expect(not os.path.exists(pack), "no pack is left behind")
    expect(not os.path.exists(os.path.join(out, "pack.size")), "nor its size record")


def case_verify_rejects_non_container():
    """Bytes that are no ITSF container (like the corrupt test pack) fail with a clear message."""
    out = work_dir("verify_non_container")
    folder = os.path.join(out, "content")
    write(os.path.join(folder, "Lumenix.dll"), b"MZ")
    pack = ARGS.pack if ARGS.pack and os.path.isfile(ARGS.pack) else os.path.join(out, "corrupt.chm")
    if not os.path.isfile(pack):
        write(pack, b"This is not an ITSF container.\n")
    _, _, err = verify_pack(pack, folder, expect_status=1)
    expect("is not an ITSF container" in err, f"{pack} is refused as no ITSF container")
    listing = directory(pack, expect_status=2)
    expect("no ITSF signature" in listing["error"], "itsf-check refuses it too")


def case_rejects_unpackable_names():
    """Names that the help format keeps for itself or that Windows cannot hold stop the build with a clear
    message."""
    out = work_dir("bad_names")
    cases = {
        "#SYSTEM": "reserved for the help format",
        "CON.dll": "reserved device name",
        "a:b.dll": "cannot be used in a Windows file name",
    }
    for index, (name, message) in enumerate(cases.items()):
        folder = os.path.join(out, f"content-{index}")
        write(os.path.join(folder, "Lumenix.dll"), b"MZ")
        write(os.path.join(folder, name), b"x")
        _, _, err = build_pack(folder, os.path.join(out, "pack.chm"), expect_status=1)
        expect(message in err and name in err, f"'{name}' is refused: {err.strip().splitlines()[-1]}")
    folder = os.path.join(out, "content-case")
    write(os.path.join(folder, "Lumenix.dll"), b"MZ")
    write(os.path.join(folder, "lumenix.DLL"), b"MZ")
    _, _, err = build_pack(folder, os.path.join(out, "pack.chm"), expect_status=1)
    expect("differ only in case" in err, "names differing only in case are refused")
    expect(not os.path.exists(os.path.join(out, "pack.chm")), "a refused build leaves no pack behind")
    expect(not [n for n in os.listdir(out) if n.startswith(".pack.chm.work-")], "nor a scratch folder")


def case_bench_folder():
    """The benchmark folder: deterministic, about 20 MB in about 300 files; it packs and verifies."""
    out = work_dir("bench")
    first, second = os.path.join(out, "a"), os.path.join(out, "b")
    run([sys.executable, script("make-bench-folder.py"), first])
    run([sys.executable, script("make-bench-folder.py"), second])
    files = source_files(first)
    expect(files == source_files(second), "two runs make the same file names")
    for rel in files:
        with open(first + rel, "rb") as fa, open(second + rel, "rb") as fb:
            if fa.read() != fb.read():
                raise Failure(f"{rel} differs between two runs")
    print("ok    two runs make the same bytes")
    total = sum(os.path.getsize(first + rel) for rel in files)
    expect(250 <= len(files) <= 350, f"about 300 files ({len(files)})")
    expect(18e6 <= total <= 22e6, f"about 20 MB ({total} bytes)")
    sizes = sorted((os.path.getsize(first + rel) for rel in files), reverse=True)
    expect(sizes[0] > 2_000_000 and sizes[len(sizes) // 2] < 100_000, "a few large files, many small ones")
    shutil.rmtree(second)

    pack = os.path.join(out, "bench.chm")
    started = time.monotonic()
    _, stdout, _ = build_pack(first, pack)
    elapsed = time.monotonic() - started
    expect("verified with extract_chmLib" in stdout, "the benchmark pack verifies byte-equal")
    listing = directory(pack)
    expect(not listing["problems"], "its directory passes every check")
    ratio = os.path.getsize(pack) / total
    print(f"note  {total} bytes in {len(files)} files -> {os.path.getsize(pack)} bytes "
          f"({ratio:.0%}), build and verification {elapsed:.1f} s")
    expect(0.2 < ratio < 0.8, "it compresses like assemblies do, neither trivially nor not at all")


CASES = {name[len("case_"):]: fn for name, fn in globals().items() if name.startswith("case_")}


def main():
    global ARGS
    parser = argparse.ArgumentParser(prog="pack_tests")
    parser.add_argument("case", choices=sorted(CASES))
    parser.add_argument("--packbuild", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--sample")
    parser.add_argument("--pack")
    parser.add_argument("--pack-source", help="the folder that --pack was made from (default: --sample)")
    parser.add_argument("--itsfpack")
    parser.add_argument("--extract-chmlib")
    ARGS = parser.parse_args()
    os.makedirs(ARGS.work, exist_ok=True)
    try:
        CASES[ARGS.case]()
    except Failure as e:
        print(f"FAILED: {e}", file=sys.stderr)
        return 1
    print(f"{ARGS.case}: passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
