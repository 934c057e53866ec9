#!/usr/bin/env python3
"""Writes a folder that looks like a real product's content, for pack and extraction benchmarks.

    make-bench-folder.py OUT [--size-mb 20] [--files 300] [--seed 511] [--subfolders] [--manifest FILE]

About 20 MB in about 300 files by default: a few large assemblies, many small ones, satellite resources,
configuration and XML documentation. Contents are structured binary made the way assemblies are (headers,
metadata tables with counters, string heaps of identifiers, IL made of a small opcode vocabulary, a bit of
already-compressed resource data), so they compress roughly as assemblies do. The same arguments always give
the same bytes. Files lie at the root unless --subfolders is given: then the satellites lie in culture folders,
and plug-ins, native libraries, documentation and data in folders up to six levels deep, as products ship them
(runtimes/win-x64/native, plugins/<area>, docs/<area>, data/<area>/... with one name in non-ASCII letters).
--manifest writes one line a file, "SIZE FNV1A64 PATH" (the path relative to OUT with "/", UTF-8), so that a
test can check an unpacked copy without the folder itself.
"""

import argparse
import os
import random
import struct
import sys

SYLLABLES = ["cor", "va", "ne", "tes", "sa", "rine", "lu", "men", "ix", "kest", "plat", "form", "ui", "host",
             "view", "model", "data", "grid", "chart", "doc", "sync", "core", "shell", "task", "flow", "store"]
NAMESPACES = ["Corvane", "Corvane.Platform", "Corvane.Platform.Tessarine", "Corvane.UI", "Lumenix"]
AREAS = ["Controls", "Data", "Documents", "Charts", "Services", "Interop", "Text", "Imaging", "Sync",
         "Storage", "Workflow", "Reporting", "Scripting", "Licensing", "Themes", "Layout", "Printing", "Search"]
CULTURES = ["de", "fr", "es", "it", "ja", "zh-Hans", "pt-BR", "ru"]
# Opcode-like byte groups; IL is a small vocabulary repeated with varying tokens.
IL_OPS = [b"\x02", b"\x03", b"\x04", b"\x06", b"\x07", b"\x0a", b"\x0b", b"\x16", b"\x17", b"\x2a", b"\x26",
          b"\x14", b"\x25", b"\x2c", b"\x2d", b"\x38", b"\x6f", b"\x28", b"\x73", b"\x7b", b"\x7d", b"\x8d",
          b"\xfe\x01", b"\xfe\x0e", b"\xfe\x0c", b"\x72", b"\x1f", b"\x20", b"\x58", b"\x59", b"\xd2", b"\xde"]


def identifier(rng):
    return "".join(rng.choice(SYLLABLES).capitalize() for _ in range(rng.randint(2, 4)))


def il_body(rng, size):
    # Calls and field accesses repeat a limited set of member tokens; constants and branch offsets vary.
    member_tokens = [struct.pack("<I", 0x0A000000 | rng.randint(1, 6000)) for _ in range(700)]
    field_tokens = [struct.pack("<I", 0x04000000 | rng.randint(1, 2000)) for _ in range(250)]
    vocabulary = IL_OPS + [b"\x28" + t for t in member_tokens] + [b"\x6f" + t for t in member_tokens] + \
        [b"\x7b" + t for t in field_tokens] + [b"\x7d" + t for t in field_tokens]
    parts, total = [], 0
    while total < size:
        block = rng.choices(vocabulary, k=1024)
        block.append(b"\x20" + rng.getrandbits(32).to_bytes(4, "little"))   # ldc.i4 with a constant
        block.append(b"\x38" + rng.getrandbits(16).to_bytes(4, "little"))   # br with an offset
        rng.shuffle(block)
        parts.extend(block)
        total += sum(len(b) for b in block)
    return b"".join(parts)[:size]


def string_heap(rng, size, utf16=False):
    parts, total = [], 0
    while total < size:
        name = identifier(rng)
        if rng.random() < 0.3:
            name = f"{rng.choice(NAMESPACES)}.{rng.choice(AREAS)}.{name}"
        raw = (name.encode("utf-16-le") + b"\0\0") if utf16 else (name.encode("ascii") + b"\0")
        parts.append(raw)
        total += len(raw)
    return b"".join(parts)[:size]


def metadata_tables(rng, size):
    rows, total, row = [], 0, 0
    while total < size:
        row += 1
        record = struct.pack("<HIHHIH", rng.choice((0x0006, 0x0086, 0x0096, 0x01c6)), row * 4 + 0x100,
                             rng.randint(1, 40), row & 0xFFFF, 0x06000000 | row, rng.choice((0, 1, 2, 5)))
        rows.append(record)
        total += len(record)
    return b"".join(rows)[:size]


def resource_blob(rng, size):
    # Already compressed data (images and the like inside resources): it hardly compresses again.
    return rng.getrandbits(size * 8).to_bytes(size, "little") if size else b""


def assembly_bytes(rng, name, size):
    header = bytearray(b"MZ\x90\x00\x03\x00\x00\x00\x04\x00\x00\x00\xff\xff\x00\x00" + b"\x00" * 0x30)
    header[0x3C:0x40] = struct.pack("<I", 0x80)
    header += b"This program cannot be run in DOS mode.\r\r\n$" + b"\x00" * 7
    header += b"\x00" * (0x80 - len(header)) + b"PE\x00\x00" + struct.pack("<HH", 0x8664, 2) + b"\x00" * 0x178
    body_size = max(size - len(header), 0)
    parts = [
        (0.50, lambda n: il_body(rng, n)),
        (0.18, lambda n: metadata_tables(rng, n)),
        (0.17, lambda n: string_heap(rng, n)),
        (0.07, lambda n: string_heap(rng, n, utf16=True)),
        (0.08, lambda n: resource_blob(rng, n)),
    ]
    body = bytearray(b"BSJB\x01\x00\x01\x00\x00\x00\x00\x00\x0c\x00\x00\x00v4.0.30319\x00\x00")
    body += name.encode("ascii") + b"\x00"
    for share, make in parts:
        body += make(int(body_size * share))
    return bytes(header + body)[:size].ljust(size, b"\x00")


def xml_doc(rng, assembly, size):
    lines = [f'<?xml version="1.0"?>\n<doc>\n  <assembly><name>{assembly}</name></assembly>\n  <members>\n']
    total = len(lines[0])
    while total < size:
        member = f"{rng.choice(NAMESPACES)}.{rng.choice(AREAS)}.{identifier(rng)}.{identifier(rng)}"
        text = (f'    <member name="M:{member}">\n      <summary>Gets the {identifier(rng).lower()} of the '
                f'{identifier(rng).lower()}.</summary>\n    </member>\n')
        lines.append(text)
        total += len(text)
    lines.append("  </members>\n</doc>\n")
    return "".join(lines).encode("utf-8")


def config_text(rng, assembly):
    bindings = "".join(
        f'      <dependentAssembly>\n        <assemblyIdentity name="{rng.choice(NAMESPACES)}.{rng.choice(AREAS)}" '
        f'culture="neutral" />\n        <bindingRedirect oldVersion="0.0.0.0-1.1.1.511" newVersion="1.1.1.511" />\n'
        f'      </dependentAssembly>\n' for _ in range(rng.randint(2, 12)))
    return (f'<?xml version="1.0" encoding="utf-8"?>\n<!-- {assembly} -->\n<configuration>\n  <runtime>\n'
            f'    <assemblyBinding xmlns="urn:schemas-microsoft-com:asm.v1">\n{bindings}'
            f'    </assemblyBinding>\n  </runtime>\n</configuration>\n').encode("utf-8")


def nested_folder(folder_rng, name, kind):
    """The folder a product would keep a root file of that kind in, or '' for the root."""
    roll = folder_rng.random()
    area = folder_rng.choice(AREAS)
    if kind == "assembly" and name.endswith(".dll"):
        if roll < 0.04:
            return "runtimes/win-x64/native/"
        if roll < 0.25:
            return f"plugins/{area}/"
    elif kind == "xml" and roll < 0.5:
        return f"docs/{area}/"
    elif kind == "assembly" and "." not in name:   # data files: the deepest trees
        depth = folder_rng.randint(1, 5)
        return "data/" + "".join(f"{identifier(folder_rng).lower()}/" for _ in range(depth))
    return ""


def plan(rng, total_bytes, file_count, subfolders):
    """(relative path, kind, size) for every file; sizes add up to about total_bytes."""
    large = ["Corvane.Platform.Tessarine.UI.dll", "Corvane.Platform.Tessarine.Documents.dll",
             "Corvane.Platform.Tessarine.Charts.dll", "Lumenix.dll"]
    items = [(name, "assembly", int(total_bytes * share))
             for name, share in zip(large, (0.22, 0.14, 0.09, 0.06))]
    items.append(("Corvane.Platform.Tessarine.UI.Standalone.dll", "assembly", 180_000))
    remaining = total_bytes - sum(size for _, _, size in items)

    names = set(n.lower() for n, _, _ in items)
    # Folders come from a generator of their own: the files and their bytes stay those of a flat folder.
    folder_rng = random.Random(f"{rng.random()}:folders") if subfolders else None
    small = []
    while len(items) + len(small) < file_count:
        area = rng.choice(AREAS)
        stem = f"{rng.choice(NAMESPACES)}.{area}.{identifier(rng)}"
        roll = rng.random()
        if roll < 0.55:
            entry = (f"{stem}.dll", "assembly")
        elif roll < 0.75:
            entry = (f"{stem}.xml", "xml")
        elif roll < 0.85:
            culture = rng.choice(CULTURES)
            folder = f"{culture}/" if subfolders else ""
            suffix = "" if subfolders else f".{culture}"
            entry = (f"{folder}{stem}{suffix}.resources.dll", "assembly")
        elif roll < 0.93:
            entry = (f"{stem}.dll.config", "config")
        else:
            entry = (f"{stem.replace('.', '-')}", "assembly")   # a data file without an extension
        if subfolders and "/" not in entry[0]:
            entry = (nested_folder(folder_rng, *entry) + entry[0], entry[1])
        if entry[0].lower() not in names:
            names.add(entry[0].lower())
            small.append(entry)
    if subfolders and small:
        # A name in letters beyond ASCII, inside a folder, as a translated product carries them.
        small[-1] = ("docs/\u00dcbersicht/Stra\u00dfenkarte-\u00c5ngstr\u00f6m.xml", "xml")

    # Small file sizes: skewed towards a few KB, scaled to fill what the large ones leave.
    weights = [rng.paretovariate(1.3) for _ in small]
    scale = remaining / sum(weights)
    for (name, kind), weight in zip(small, weights):
        size = max(256, int(weight * scale))
        if kind == "config":
            size = 0  # written at its natural size
        items.append((name, kind, size))
    return items


def fnv1a64(data):
    value = 0xCBF29CE484222325
    for byte in data:
        value = ((value ^ byte) * 0x100000001B3) & 0xFFFFFFFFFFFFFFFF
    return value


def main(argv=None):
    parser = argparse.ArgumentParser(prog="make-bench-folder", description=__doc__.splitlines()[0])
    parser.add_argument("out")
    parser.add_argument("--size-mb", type=float, default=20.0)
    parser.add_argument("--files", type=int, default=300)
    parser.add_argument("--seed", type=int, default=511)
    parser.add_argument("--subfolders", action="store_true")
    parser.add_argument("--manifest", help="write a line of size, FNV-1a hash and path for every file")
    args = parser.parse_args(argv)

    rng = random.Random(args.seed)
    items = plan(rng, int(args.size_mb * 1_000_000), args.files, args.subfolders)
    os.makedirs(args.out, exist_ok=True)
    total = 0
    manifest = []
    for name, kind, size in items:
        file_rng = random.Random(f"{args.seed}:{name}")
        if kind == "assembly":
            data = assembly_bytes(file_rng, name.rsplit("/", 1)[-1], size)
        elif kind == "xml":
            data = xml_doc(file_rng, name, size)[:size]
        else:
            data = config_text(file_rng, name)
        path = os.path.join(args.out, *name.split("/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        total += len(data)
        if args.manifest:
            manifest.append(f"{len(data)} {fnv1a64(data):016x} {name}\n")
    if args.manifest:
        with open(args.manifest, "w", encoding="utf-8", newline="\n") as f:
            f.write("".join(sorted(manifest, key=lambda line: line.split(" ", 2)[2])))
    print(f"make-bench-folder: {len(items)} files, {total} bytes in {args.out}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
