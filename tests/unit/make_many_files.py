#!/usr/bin/env python3
"""Writes a folder of 320 small files (more than one listing chunk's worth of directory entries)."""
import os
import sys

out = sys.argv[1]
os.makedirs(out, exist_ok=True)
for i in range(320):
    with open(os.path.join(out, f"Module{i:03d}.dll"), "wb") as f:
        f.write((f"module {i} ".encode() * (i % 17 + 1)) + bytes(range(i % 256)))
