#!/usr/bin/env python3
"""Reads the directory of an ITSF (CHM) container and checks that its listing can be walked.

    itsf-check.py PACK            print the header fields and the result of the checks
    itsf-check.py --list PACK     also list every directory entry (section, offset, length, name)
    itsf-check.py --json PACK     print everything as one JSON object

Exit status 0 when every check passes, 1 when one fails (each failure is printed), 2 on a file that is not
a container at all. The checks:
 - the ITSP header's first listing chunk (offset 0x20) is the PMGL chunk whose previous-chunk link is -1,
   and its last listing chunk (offset 0x24) is the PMGL chunk whose next-chunk link is -1;
 - following the next-chunk links from the first chunk visits every PMGL chunk once, and the previous-chunk
   links mirror them;
 - every chunk's entry count (the last two bytes of the chunk) matches the entries parsed from it, and no
   name occurs twice;
 - with an index (depth 2), the root index chunk is a PMGI chunk whose entries name, in order, each listing
   chunk and its first entry;
 - the file length recorded in header section 0 is the file's length, and entries of section 0 lie inside it.
This reader shares no code with build-pack.py on purpose: it checks that script's work.
"""

import argparse
import json
import struct
import sys


class NotAContainer(Exception):
    pass


def read_encint(data, pos):
    """The format's variable-length integer: 7 bits per byte, most significant first, high bit = more."""
    value = 0
    while True:
        if pos >= len(data):
            raise ValueError("variable-length integer runs past the chunk")
        byte = data[pos]
        pos += 1
        value = (value << 7) | (byte & 0x7F)
        if not byte & 0x80:
            return value, pos


def parse_listing_chunk(chunk, chunk_size):
    free_space, _unknown, prev_chunk, next_chunk = struct.unpack_from("<Iiii", chunk, 4)
    end = chunk_size - free_space
    count, = struct.unpack_from("<H", chunk, chunk_size - 2)
    entries, pos = [], 0x14
    while pos < end:
        name_length, pos = read_encint(chunk, pos)
        name = chunk[pos:pos + name_length].decode("utf-8")
        pos += name_length
        section, pos = read_encint(chunk, pos)
        offset, pos = read_encint(chunk, pos)
        length, pos = read_encint(chunk, pos)
        entries.append({"name": name, "section": section, "offset": offset, "length": length})
    return {"type": "PMGL", "prev": prev_chunk, "next": next_chunk, "count": count, "entries": entries}


def parse_index_chunk(chunk, chunk_size):
    free_space, = struct.unpack_from("<I", chunk, 4)
    end = chunk_size - free_space
    entries, pos = [], 0x08
    while pos < end:
        name_length, pos = read_encint(chunk, pos)
        name = chunk[pos:pos + name_length].decode("utf-8")
        pos += name_length
        target, pos = read_encint(chunk, pos)
        entries.append({"name": name, "chunk": target})
    return {"type": "PMGI", "entries": entries}


def read_container(data):
    if len(data) < 0x58 or data[:4] != b"ITSF":
        raise NotAContainer("not an ITSF container (no ITSF signature)")
    version, header_length = struct.unpack_from("<II", data, 4)
    language, = struct.unpack_from("<I", data, 0x14)
    sec0_offset, sec0_length, dir_offset, dir_length = struct.unpack_from("<QQQQ", data, 0x38)
    content_offset = struct.unpack_from("<Q", data, 0x58)[0] if header_length >= 0x60 else dir_offset + dir_length
    info = {
        "itsf_version": version, "itsf_header_length": header_length, "language": language,
        "header_section_offset": sec0_offset, "header_section_length": sec0_length,
        "directory_offset": dir_offset, "directory_length": dir_length, "content_offset": content_offset,
        "file_length": len(data),
    }
    if sec0_offset + 0x18 <= len(data) and struct.unpack_from("<I", data, sec0_offset)[0] == 0x01FE:
        info["recorded_file_length"] = struct.unpack_from("<Q", data, sec0_offset + 0x08)[0]

    itsp = dir_offset
    if data[itsp:itsp + 4] != b"ITSP":
        raise NotAContainer(f"no ITSP directory header at offset {itsp:#x}")
    (_, itsp_length, _, chunk_size, density, depth, root_index, first_listing, last_listing, _,
     chunk_count, itsp_language) = struct.unpack_from("<IIIIIiiiiiII", data, itsp + 4)
    info.update({
        "itsp_offset": itsp, "itsp_header_length": itsp_length, "chunk_size": chunk_size,
        "quickref_density": density, "index_depth": depth, "root_index_chunk": root_index,
        "first_listing_chunk": first_listing, "last_listing_chunk": last_listing,
        "chunk_count": chunk_count, "directory_language": itsp_language,
    })
    chunks = []
    for index in range(chunk_count):
        start = itsp + itsp_length + index * chunk_size
        chunk = data[start:start + chunk_size]
        if len(chunk) < chunk_size:
            raise NotAContainer(f"directory chunk {index} runs past the end of the file")
        kind = bytes(chunk[:4])
        if kind == b"PMGL":
            chunks.append(parse_listing_chunk(chunk, chunk_size))
        elif kind == b"PMGI":
            chunks.append(parse_index_chunk(chunk, chunk_size))
        else:
            chunks.append({"type": kind.decode("latin-1")})
    return info, chunks


def check(info, chunks):
    problems = []
    listing = [i for i, c in enumerate(chunks) if c["type"] == "PMGL"]
    heads = [i for i in listing if chunks[i]["prev"] == -1]
    tails = [i for i in listing if chunks[i]["next"] == -1]
    if len(heads) != 1:
        problems.append(f"expected one listing chunk with previous link -1, found {heads}")
    elif info["first_listing_chunk"] != heads[0]:
        problems.append(f"the ITSP first listing chunk is {info['first_listing_chunk']}, "
                        f"but the listing starts at chunk {heads[0]}")
    if len(tails) != 1:
        problems.append(f"expected one listing chunk with next link -1, found {tails}")
    elif info["last_listing_chunk"] != tails[0]:
        problems.append(f"the ITSP last listing chunk is {info['last_listing_chunk']}, "
                        f"but the listing ends at chunk {tails[0]}")

    # Walk the way a reader does: from the header's first chunk along the next links.
    walked, index, prev = [], info["first_listing_chunk"], -1
    while index != -1:
        if not 0 <= index < len(chunks) or chunks[index]["type"] != "PMGL":
            problems.append(f"the listing walk reaches chunk {index}, which is not a listing chunk")
            break
        if index in walked:
            problems.append(f"the listing walk loops back to chunk {index}")
            break
        if chunks[index]["prev"] != prev:
            problems.append(f"chunk {index} links back to {chunks[index]['prev']} instead of {prev}")
        walked.append(index)
        prev, index = index, chunks[index]["next"]
    if sorted(walked) != listing:
        problems.append(f"the listing walk visits chunks {walked} of the listing chunks {listing}")

    names = set()
    for i in listing:
        chunk = chunks[i]
        if chunk["count"] != len(chunk["entries"]):
            problems.append(f"chunk {i} says {chunk['count']} entries, {len(chunk['entries'])} parsed")
        for entry in chunk["entries"]:
            if entry["name"] in names:
                problems.append(f"the name {entry['name']!r} occurs twice")
            names.add(entry["name"])
            if entry["section"] == 0 and entry["length"] and \
                    info["content_offset"] + entry["offset"] + entry["length"] > info["file_length"]:
                problems.append(f"{entry['name']!r} lies past the end of the file")

    # Every folder level of a path has a directory entry of its own, as help compilers write them.
    folders = {n for n in names if n.startswith("/") and n.endswith("/")}
    unlisted = sorted({name[:cut + 1] for name in names if name.startswith("/")
                       for cut in range(len(name) - 1) if name[cut] == "/"} - folders)
    problems += [f"the folder {folder!r} has no directory entry of its own" for folder in unlisted]

    if info["index_depth"] > 1:
        root = info["root_index_chunk"]
        if not 0 <= root < len(chunks) or chunks[root]["type"] != "PMGI":
            problems.append(f"the root index chunk {root} is not an index chunk")
        else:
            expected = [(chunks[i]["entries"][0]["name"], i) for i in walked if chunks[i]["entries"]]
            actual = [(e["name"], e["chunk"]) for e in chunks[root]["entries"]]
            if actual != expected:
                problems.append(f"the index chunk names {actual}, the listing chunks begin with {expected}")

    recorded = info.get("recorded_file_length")
    if recorded is not None and recorded != info["file_length"]:
        problems.append(f"header section 0 records {recorded} bytes, the file has {info['file_length']}")
    return problems


def entries_in_order(info, chunks):
    """Entries in listing order, following the chain from the chunk that starts it."""
    heads = [i for i, c in enumerate(chunks) if c["type"] == "PMGL" and c["prev"] == -1]
    result, index, seen = [], heads[0] if heads else -1, set()
    while index != -1 and index not in seen and 0 <= index < len(chunks) and chunks[index]["type"] == "PMGL":
        seen.add(index)
        result.extend(chunks[index]["entries"])
        index = chunks[index]["next"]
    return result


def main(argv=None):
    parser = argparse.ArgumentParser(prog="itsf-check", description="Check the directory of an ITSF container.")
    parser.add_argument("pack")
    parser.add_argument("--list", action="store_true", help="list every directory entry")
    parser.add_argument("--json", action="store_true", help="print the result as JSON")
    args = parser.parse_args(argv)

    with open(args.pack, "rb") as f:
        data = f.read()
    try:
        info, chunks = read_container(data)
    except (NotAContainer, ValueError, UnicodeDecodeError, struct.error) as e:
        if args.json:
            print(json.dumps({"pack": args.pack, "error": str(e)}))
        else:
            print(f"itsf-check: {args.pack}: {e}", file=sys.stderr)
        return 2

    problems = check(info, chunks)
    entries = entries_in_order(info, chunks)
    if args.json:
        print(json.dumps({
            "pack": args.pack, "header": info, "problems": problems,
            "chunks": [{"index": i, "type": c["type"], "prev": c.get("prev"), "next": c.get("next"),
                        "entries": len(c.get("entries", []))} for i, c in enumerate(chunks)],
            "entries": entries,
        }, indent=1))
    else:
        print(f"{args.pack}: ITSF v{info['itsf_version']}, {info['file_length']} bytes, "
              f"{info['chunk_count']} directory chunks of {info['chunk_size']} bytes, index depth "
              f"{info['index_depth']}, first/last listing chunk {info['first_listing_chunk']}/"
              f"{info['last_listing_chunk']}, {len(entries)} entries")
        for i, c in enumerate(chunks):
            if c["type"] == "PMGL":
                print(f"  chunk {i}: PMGL prev {c['prev']} next {c['next']}, {len(c['entries'])} entries")
            else:
                print(f"  chunk {i}: {c['type']}" +
                      (f", {len(c['entries'])} index entries" if c["type"] == "PMGI" else ""))
        if args.list:
            for e in entries:
                print(f"  {e['section']} {e['offset']:>10} {e['length']:>10}  {e['name']}")
        for problem in problems:
            print(f"itsf-check: {args.pack}: {problem}", file=sys.stderr)
        print("directory OK" if not problems else f"{len(problems)} problem(s)")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
