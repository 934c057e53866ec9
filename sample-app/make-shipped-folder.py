#!/usr/bin/env python3
"""Lays out the sample product as a real one ships: its assemblies at the top, and sub-folders below.

    make-shipped-folder.py FOLDER --file RELATIVE_PATH=SOURCE...

FOLDER is made anew. Each --file copies SOURCE to RELATIVE_PATH below it ('/' or '\\' between folders): the
assemblies, the satellite in its culture folder, the native libraries in runtimes/win-x64/native/. The script
adds the product's data files itself: one four folders deep and one whose folder and name have letters beyond
ASCII (the names are written here as escapes, so that every source stays ASCII). Exits with status 1 and a
message naming the file when a step fails.
"""

import argparse
import os
import shutil
import sys

PROG = "make-shipped-folder"

# What the product reads from its data folder (Lumenix.Program.DeepDataPath and OverviewPath) and reports.
DATA_FILES = {
    "data/maps/europe/tiles/index.txt": "Tiles of Europe, four folders down\n",
    "data/\u00dcbersicht/Stra\u00dfe.txt": "Stra\u00dfenverzeichnis M\u00fcnchen\n",
}


def lay_out(folder, files):
    if os.path.exists(folder):
        shutil.rmtree(folder)
    os.makedirs(folder)
    for relative, source in files:
        target = os.path.join(folder, *relative.replace("\\", "/").split("/"))
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copyfile(source, target)
    for relative, text in DATA_FILES.items():
        target = os.path.join(folder, *relative.split("/"))
        os.makedirs(os.path.dirname(target), exist_ok=True)
        with open(target, "w", encoding="utf-8", newline="") as stream:
            stream.write(text)


def file_argument(value):
    relative, sep, source = value.partition("=")
    if not sep or not relative or not source:
        raise argparse.ArgumentTypeError(f"--file {value}: not RELATIVE_PATH=SOURCE")
    return relative, source


def main():
    parser = argparse.ArgumentParser(prog=PROG, description=__doc__.splitlines()[0])
    parser.add_argument("folder")
    parser.add_argument("--file", dest="files", action="append", type=file_argument, default=[],
                        metavar="RELATIVE_PATH=SOURCE")
    args = parser.parse_args()
    try:
        lay_out(args.folder, args.files)
    except OSError as error:
        print(f"{PROG}: {error.filename or args.folder}: {error.strerror}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
