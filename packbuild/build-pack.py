#!/usr/bin/env python3
"""Builds the product pack: one ITSF (CHM) container holding exactly the files of a folder.

    build-pack.py [options] SOURCE_DIR OUTPUT        build OUTPUT from SOURCE_DIR and verify it
    build-pack.py --verify PACK SOURCE_DIR           only verify an existing pack against SOURCE_DIR

Steps of a build:
 0. Every file's path in the launcher's content cache is computed under a TEMP folder of --temp-length
    characters (by default the TEMP of a profile with a 20-character user name): a folder whose longest path
    would not fit a Windows path (259 characters, a folder 247) is refused, naming the file and the length.
 1. The folder is copied into a scratch folder beside OUTPUT, and a list of its files, sorted, is written.
 2. itsfpack (built from itsfpack.pas) writes the container: every file LZX-compressed under its relative
    path, the format's own "::DataSpace/..." entries, and nothing else. Its header carries no build time.
 3. The container is read back with extract_chmLib (libchm, an independent reader): every file must come back
    byte-equal, and nothing may come back that is not a file of the folder. libchm's enumeration
    (enum_chmLib) must list every folder level of every file as a directory entry of its own.
Only a verified container becomes OUTPUT. Beside it, the same name with ".size" (ProductContent.size) records
the bytes of all its files, in decimal digits: the launcher embeds it with the pack and measures a first
start's progress against it without walking the pack twice. Any failure removes both (so that a stale pack is
never embedded) and exits with status 1 and a message naming the file.
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile

PROG = "build-pack"

# Root entries that help files keep their own data in; readers that know the format treat them specially, so
# a packed file must not take them.
RESERVED_ROOT_NAMES = {
    "#idxhdr", "#itbits", "#strings", "#system", "#topics", "#urlstr", "#urltbl", "#tocidx",
    "$objinst", "$fiftimain", "$wwassociativelinks", "$wwkeywordlinks", "_#_readme_#_",
}
# Characters that Windows does not allow in a file name: the launcher extracts the pack there.
WINDOWS_INVALID_CHARS = set('<>:"\\|?*')
WINDOWS_RESERVED_STEMS = {"con", "prn", "aux", "nul"} | {f"com{i}" for i in range(1, 10)} | \
                         {f"lpt{i}" for i in range(1, 10)}


# Where the launcher unpacks the pack below TEMP (the build passes the release's own folder), and the TEMP
# that a user with a 20-character name has: C:\Users\<name>\AppData\Local\Temp.
DEFAULT_CACHE_FOLDER = "Corvane\\Lumenix\\v65535.65535.65535.65535\\ProductContentCache"
DEFAULT_TEMP_LENGTH = len("C:\\Users\\") + 20 + len("\\AppData\\Local\\Temp")
# The longest path of a file that Windows opens without a long-path prefix (MAX_PATH less the terminating
# null), and of a folder that it creates (less room for an 8.3 name).
MAX_FILE_PATH = 259
MAX_FOLDER_PATH = 247
PACK_FILE_NAME = "ProductContent.chm"
CONTENT_SIZE_SUFFIX = ".size"


class PackError(Exception):
    pass


def log(message):
    print(f"{PROG}: {message}", flush=True)


# --- the files to pack -------------------------------------------------------------------------------------

def check_name(rel_path):
    """Raises PackError when the container or a Windows extraction could not carry the file's name unchanged."""
    try:
        rel_path.encode("utf-8")
    except UnicodeEncodeError:
        raise PackError(f"'{rel_path!r}': the name is not valid UTF-8")
    parts = rel_path.split("/")
    for part in parts:
        if part != part.strip() or part.endswith("."):
            raise PackError(f"'{rel_path}': a name must not begin or end with blanks or end with a dot")
        if any(ord(c) < 0x20 or c == "\x7f" for c in part):
            raise PackError(f"'{rel_path}': control characters in a name are not supported")
        bad = sorted(set(part) & WINDOWS_INVALID_CHARS)
        if bad:
            raise PackError(f"'{rel_path}': the character(s) {' '.join(bad)} cannot be used in a Windows file name")
        if part.split(".")[0].lower() in WINDOWS_RESERVED_STEMS:
            raise PackError(f"'{rel_path}': '{part}' is a reserved device name on Windows")
    if len(parts) == 1 and rel_path.lower() in RESERVED_ROOT_NAMES:
        raise PackError(f"'{rel_path}': the name is reserved for the help format's own entries")
    if rel_path.startswith("::"):
        raise PackError(f"'{rel_path}': names starting with '::' are reserved by the container format")


def collect_files(source_dir):
    """Every regular file under source_dir as a sorted list of '/'-separated relative paths."""
    if not os.path.isdir(source_dir):
        raise PackError(f"the folder to pack does not exist: {source_dir}")
    files = []
    for root, dirs, names in os.walk(source_dir):
        dirs.sort()
        for name in sorted(names):
            full = os.path.join(root, name)
            if not os.path.isfile(full):
                raise PackError(f"'{os.path.relpath(full, source_dir)}' is not a regular file")
            rel = os.path.relpath(full, source_dir).replace(os.sep, "/")
            check_name(rel)
            files.append(rel)
    if not files:
        raise PackError(f"the folder to pack holds no files: {source_dir}")
    # The container and Windows both compare names without regard to case.
    seen = {}
    for rel in files:
        key = rel.lower()
        if key in seen:
            raise PackError(f"'{rel}' and '{seen[key]}' differ only in case")
        seen[key] = rel
    return files


# --- the path budget ---------------------------------------------------------------------------------------

def windows_length(text):
    """The length of text in UTF-16 code units, as Windows counts a path."""
    return len(text.encode("utf-16-le")) // 2


def check_path_budget(files, temp_length, cache_folder):
    """Raises PackError for the file whose cache path, or whose folder's, passes its limit by the most."""
    cache = temp_length + 1 + windows_length(cache_folder)
    worst = None
    for rel in files + [PACK_FILE_NAME]:
        parts = rel.split("/")
        candidates = [("its path", cache + 1 + windows_length("\\".join(parts)), MAX_FILE_PATH)]
        if len(parts) > 1:
            candidates.append(("its folder's path", cache + 1 + windows_length("\\".join(parts[:-1])),
                               MAX_FOLDER_PATH))
        for what, length, limit in candidates:
            if length > limit and (worst is None or length - limit > worst[2] - worst[3]):
                worst = (rel, what, length, limit)
    if worst:
        rel, what, length, limit = worst
        raise PackError(f"'{rel}': {what} in the content cache would be {length} characters long under a TEMP of "
                        f"{temp_length} characters, more than the {limit} that Windows allows; shorten its name or "
                        f"its folders, or set the TEMP length assumed with --temp-length")


# --- itsfpack -----------------------------------------------------------------------------------------------

def run_itsfpack(itsfpack, content_dir, files, list_file, pack):
    """Writes the container of the listed files; the list holds one '/'-separated relative path a line."""
    with open(list_file, "w", encoding="utf-8", newline="\n") as f:
        f.write("".join(f"{rel}\n" for rel in files))
    result = subprocess.run([itsfpack, list_file, content_dir, pack],
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if result.returncode != 0:
        output = result.stdout.decode("utf-8", "replace").strip()
        raise PackError(f"itsfpack failed with status {result.returncode}:\n{output}")


# --- verification with extract_chmLib ----------------------------------------------------------------------

def same_content(a, b):
    if os.path.getsize(a) != os.path.getsize(b):
        return False
    with open(a, "rb") as fa, open(b, "rb") as fb:
        while True:
            block_a, block_b = fa.read(1 << 20), fb.read(1 << 20)
            if block_a != block_b:
                return False
            if not block_a:
                return True


def extracted_files(out_dir):
    """Every file extract_chmLib wrote, as '/'-separated paths relative to out_dir."""
    found = []
    for root, _dirs, names in os.walk(out_dir):
        found += [os.path.relpath(os.path.join(root, name), out_dir).replace(os.sep, "/") for name in names]
    return found


def listed_folders(pack, enum_chmlib):
    """The directory entries that libchm's enumeration lists, as '/'-separated paths ending in '/'."""
    result = subprocess.run([enum_chmlib, pack], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    output = result.stdout.decode("utf-8", "replace")
    if result.returncode != 0:
        raise PackError(f"enum_chmLib could not list {pack} (status {result.returncode}):\n{output.strip()}")
    folders = set()
    for line in output.splitlines():
        kind, _, name = line.partition("\t\t")
        if kind.rstrip().endswith(" dir") and name.startswith("/"):
            folders.add(name)
    return folders


def unlisted_folders(files, folders):
    """The folder levels of the files ('/'-separated, relative) that have no directory entry, sorted."""
    levels = {"/"} | {"/" + rel[:cut + 1] for rel in files for cut in range(len(rel)) if rel[cut] == "/"}
    return sorted(levels - folders)


def verify(pack, source_dir, files, extract_chmlib, scratch, label=None):
    """Extracts pack with extract_chmLib into scratch: every file of source_dir must come back byte-equal, and
    nothing else may come back (extract_chmLib writes every entry but the format's own '::' ones)."""
    label = label or pack
    with open(pack, "rb") as f:
        signature = f.read(4)
    if signature != b"ITSF":
        raise PackError(f"verification failed: {label} is not an ITSF container (starts with {signature!r})")

    out_dir = os.path.join(scratch, "extracted")
    shutil.rmtree(out_dir, ignore_errors=True)
    result = subprocess.run([extract_chmlib, pack, out_dir], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    output = result.stdout.decode("utf-8", "replace")

    problems = []
    for rel in files:
        original = os.path.join(source_dir, *rel.split("/"))
        extracted = os.path.join(out_dir, *rel.split("/"))
        if not os.path.isfile(extracted):
            problems.append(f"'{rel}' is missing from the container")
        elif not same_content(original, extracted):
            problems.append(f"'{rel}' differs from the source file ({os.path.getsize(extracted)} bytes read back, "
                            f"{os.path.getsize(original)} expected)")
    packed = set(files)
    problems += [f"'{rel}' is in the container but is no file of the folder"
                 for rel in sorted(extracted_files(out_dir)) if rel not in packed]
    enum_chmlib = os.path.join(os.path.dirname(extract_chmlib), "enum_chmLib")
    if not os.path.isfile(enum_chmlib):
        enum_chmlib = find_tool(None, "enum_chmLib", "Debian package libchm-bin")
    problems += [f"the folder '{folder}' has no directory entry of its own"
                 for folder in unlisted_folders(files, listed_folders(pack, enum_chmlib))]
    if problems:
        shown = problems[:20]
        more = f"\n  ... and {len(problems) - len(shown)} more" if len(problems) > len(shown) else ""
        # extract_chmLib's own words only help when it stumbled itself.
        tail = ""
        if result.returncode != 0 or "error" in output.lower():
            tail = "\n".join(output.strip().splitlines()[-5:])
        raise PackError(f"verification with extract_chmLib failed: {len(problems)} problem(s) with the "
                        f"{len(files)} files in {label}:\n  " + "\n  ".join(shown) + more +
                        (f"\nextract_chmLib said (last lines):\n{tail}" if tail else ""))
    return len(files)


# --- commands ----------------------------------------------------------------------------------------------

def content_size_file(output):
    """The record of the pack's content size that goes beside OUTPUT."""
    return os.path.splitext(output)[0] + CONTENT_SIZE_SUFFIX


def remove_outputs(output):
    for path in (output, content_size_file(output)):
        if os.path.isfile(path):
            os.remove(path)


def find_tool(given, name, origin):
    tool = given or shutil.which(name)
    if not tool:
        raise PackError(f"{name} was not found ({origin})")
    return tool


def build(args):
    itsfpack = find_tool(args.itsfpack, "itsfpack", "the build makes it from packbuild/itsfpack.pas")
    extract_chmlib = find_tool(args.extract_chmlib, "extract_chmLib", "Debian package libchm-bin")
    source_dir = os.path.abspath(args.source)
    output = os.path.abspath(args.output)
    if content_size_file(output) == output:
        raise PackError(f"{output}: a pack's name must not end in {CONTENT_SIZE_SUFFIX}, which names its size record")
    remove_outputs(output)
    files = collect_files(source_dir)
    check_path_budget(files, args.temp_length, args.cache_folder)

    out_dir = os.path.dirname(output)
    os.makedirs(out_dir, exist_ok=True)
    scratch = tempfile.mkdtemp(prefix=f".{os.path.basename(output)}.work-", dir=out_dir)
    try:
        content_dir = os.path.join(scratch, "content")
        for rel in files:
            target = os.path.join(content_dir, *rel.split("/"))
            os.makedirs(os.path.dirname(target), exist_ok=True)
            shutil.copyfile(os.path.join(source_dir, *rel.split("/")), target)
        total = sum(os.path.getsize(os.path.join(content_dir, *rel.split("/"))) for rel in files)
        pack = os.path.join(scratch, "pack.chm")
        run_itsfpack(itsfpack, content_dir, files, os.path.join(scratch, "files.txt"), pack)
        if not os.path.isfile(pack):
            raise PackError("itsfpack finished without writing the container")

        # Compare with the scratch copy's originals: the source folder might change while we run.
        verify(pack, content_dir, files, extract_chmlib, scratch, label=f"the new pack for {output}")
        size_record = os.path.join(scratch, "content.size")
        with open(size_record, "w", encoding="ascii", newline="") as f:
            f.write(str(total))
        os.replace(size_record, content_size_file(output))
        os.replace(pack, output)
        log(f"{len(files)} files, {total} bytes -> {output} ({os.path.getsize(output)} bytes), "
            f"verified with extract_chmLib, every folder level listed by enum_chmLib; "
            f"content size in {os.path.basename(content_size_file(output))}")
    except BaseException:
        remove_outputs(output)
        raise
    finally:
        if args.keep_work:
            log(f"scratch folder kept: {scratch}")
        else:
            shutil.rmtree(scratch, ignore_errors=True)


def verify_only(args):
    extract_chmlib = find_tool(args.extract_chmlib, "extract_chmLib", "Debian package libchm-bin")
    pack, source_dir = os.path.abspath(args.source), os.path.abspath(args.output)
    if not os.path.isfile(pack):
        raise PackError(f"the pack does not exist: {pack}")
    files = collect_files(source_dir)
    scratch = tempfile.mkdtemp(prefix="verify-pack-")
    try:
        count = verify(pack, source_dir, files, extract_chmlib, scratch)
        log(f"{pack}: all {count} files of {source_dir} read back byte-equal with extract_chmLib")
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


def main(argv=None):
    parser = argparse.ArgumentParser(prog=PROG, description="Build and verify the product pack (ITSF/CHM).")
    parser.add_argument("source", metavar="SOURCE_DIR | PACK")
    parser.add_argument("output", metavar="OUTPUT | SOURCE_DIR")
    parser.add_argument("--verify", action="store_true",
                        help="only verify: the arguments are an existing PACK and the SOURCE_DIR it must hold")
    parser.add_argument("--itsfpack", help="the container writer to use (default: from PATH)")
    parser.add_argument("--extract-chmlib", help="extract_chmLib to use (default: from PATH)")
    parser.add_argument("--keep-work", action="store_true", help="keep the scratch folder")
    parser.add_argument("--temp-length", type=int, default=DEFAULT_TEMP_LENGTH,
                        help=f"length of the TEMP folder's path assumed for the cache paths (default "
                             f"{DEFAULT_TEMP_LENGTH}: a profile with a 20-character user name)")
    parser.add_argument("--cache-folder", default=DEFAULT_CACHE_FOLDER,
                        help="the content cache folder below TEMP, with backslashes (default: a release "
                             "number of the longest form)")
    args = parser.parse_args(argv)
    if args.temp_length < 3:
        parser.error(f"--temp-length {args.temp_length}: a TEMP path has at least 3 characters (C:\\)")
    try:
        if args.verify:
            verify_only(args)
        else:
            build(args)
    except PackError as e:
        print(f"{PROG}: error: {e}", file=sys.stderr, flush=True)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
