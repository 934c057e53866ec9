#!/usr/bin/env python3
"""Regenerate the Lumenix launcher artwork.

Writes, next to this script:

  splash.png   512 x 197 RGBA splash screen (rounded, translucent halo)
  lumenix.ico  application icon: 48/32/16 px at 4, 8 and 32 bpp, plus a
               PNG-compressed 256 px image

Everything is drawn procedurally with signed distance functions and packed
by hand (zlib + struct only), so the output is byte-for-byte identical on
every run.  Run:  python3 resources/generate_assets.py
"""

import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

# ---------------------------------------------------------------------------
# Palette shared by the splash and the icon
# ---------------------------------------------------------------------------
NAVY = (10, 20, 48)
DEEP_TEAL = (4, 82, 96)
TEAL = (0, 150, 160)
CYAN = (92, 224, 230)
ICE = (236, 250, 255)
MINT = (150, 226, 236)
AMBER = (255, 206, 110)


# ---------------------------------------------------------------------------
# Small maths helpers
# ---------------------------------------------------------------------------
def clamp(v, lo=0.0, hi=1.0):
    return lo if v < lo else hi if v > hi else v


def smoothstep(e0, e1, x):
    t = clamp((x - e0) / (e1 - e0))
    return t * t * (3.0 - 2.0 * t)


def mix(a, b, t):
    return (a[0] + (b[0] - a[0]) * t,
            a[1] + (b[1] - a[1]) * t,
            a[2] + (b[2] - a[2]) * t)


def sd_round_rect(px, py, cx, cy, hx, hy, r):
    """Signed distance to a rounded rectangle (negative inside)."""
    qx = abs(px - cx) - hx + r
    qy = abs(py - cy) - hy + r
    ox = qx if qx > 0.0 else 0.0
    oy = qy if qy > 0.0 else 0.0
    inside = qx if qx > qy else qy
    if inside > 0.0:
        inside = 0.0
    return (ox * ox + oy * oy) ** 0.5 + inside - r


def sd_circle(px, py, cx, cy, r):
    return ((px - cx) ** 2 + (py - cy) ** 2) ** 0.5 - r


def coverage(d):
    """Anti-aliased coverage of a pixel whose centre is d pixels from an edge."""
    return clamp(0.5 - d)


# ---------------------------------------------------------------------------
# PNG writer
# ---------------------------------------------------------------------------
def _chunk(tag, data):
    body = tag + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def _paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def encode_png(width, height, rgba):
    """rgba: bytes, row-major, 4 bytes per pixel.  Returns PNG file bytes.

    Each scanline gets the filter with the smallest sum of absolute
    residuals, the usual heuristic that keeps gradients compact.
    """
    bpp = 4
    stride = width * bpp
    prev = bytearray(stride)
    out = bytearray()
    for y in range(height):
        row = rgba[y * stride:(y + 1) * stride]
        candidates = []
        # 0: None
        candidates.append(bytearray(row))
        # 1: Sub
        f = bytearray(stride)
        for i in range(stride):
            left = row[i - bpp] if i >= bpp else 0
            f[i] = (row[i] - left) & 0xFF
        candidates.append(f)
        # 2: Up
        f = bytearray(stride)
        for i in range(stride):
            f[i] = (row[i] - prev[i]) & 0xFF
        candidates.append(f)
        # 3: Average
        f = bytearray(stride)
        for i in range(stride):
            left = row[i - bpp] if i >= bpp else 0
            f[i] = (row[i] - ((left + prev[i]) >> 1)) & 0xFF
        candidates.append(f)
        # 4: Paeth
        f = bytearray(stride)
        for i in range(stride):
            left = row[i - bpp] if i >= bpp else 0
            upleft = prev[i - bpp] if i >= bpp else 0
            f[i] = (row[i] - _paeth(left, prev[i], upleft)) & 0xFF
        candidates.append(f)

        best, best_cost = 0, None
        for kind, data in enumerate(candidates):
            cost = sum(v if v < 128 else 256 - v for v in data)
            if best_cost is None or cost < best_cost:
                best, best_cost = kind, cost
        out.append(best)
        out += candidates[best]
        prev = bytearray(row)

    ihdr = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n"
            + _chunk(b"IHDR", ihdr)
            + _chunk(b"IDAT", zlib.compress(bytes(out), 9))
            + _chunk(b"IEND", b""))


def to_rgba_bytes(pixels):
    """pixels: list of (r, g, b, a) floats in 0..255 -> packed bytes."""
    out = bytearray()
    for r, g, b, a in pixels:
        a8 = int(round(clamp(a, 0.0, 255.0)))
        if a8 == 0:
            out += b"\x00\x00\x00\x00"
            continue
        out.append(int(round(clamp(r, 0.0, 255.0))))
        out.append(int(round(clamp(g, 0.0, 255.0))))
        out.append(int(round(clamp(b, 0.0, 255.0))))
        out.append(a8)
    return bytes(out)


# ---------------------------------------------------------------------------
# The Lumenix glyph: a rounded tile carrying a bold "L" and a small spark.
# Drawn in unit space and sampled at any size.
# ---------------------------------------------------------------------------
def render_glyph(size):
    """Returns a list of (r, g, b, a) floats, straight (not premultiplied)."""
    s = float(size)
    pixels = []
    rim_px = max(1.0, s / 40.0)
    for y in range(size):
        for x in range(size):
            u = (x + 0.5) / s
            v = (y + 0.5) / s

            # Tile
            d_tile = sd_round_rect(u, v, 0.5, 0.5, 0.44, 0.44, 0.2) * s
            a_tile = coverage(d_tile)
            if a_tile <= 0.0:
                pixels.append((0.0, 0.0, 0.0, 0.0))
                continue

            t = smoothstep(0.05, 0.95, (u * 0.55 + v * 0.45))
            col = mix(NAVY, TEAL, t)
            # soft sheen across the upper half
            sheen = 0.18 * smoothstep(0.62, 0.08, v)
            col = mix(col, CYAN, sheen)
            # bright rim just inside the tile edge
            rim = clamp(1.0 - abs(d_tile + rim_px * 0.9) / rim_px)
            col = mix(col, CYAN, 0.45 * rim * (1.0 - 0.6 * t))

            # The "L": a tall stem and a foot, slightly rounded
            d_stem = sd_round_rect(u, v, 0.375, 0.50, 0.075, 0.28, 0.035)
            d_foot = sd_round_rect(u, v, 0.51, 0.705, 0.21, 0.075, 0.035)
            d_l = min(d_stem, d_foot) * s
            # faint shadow under the letter
            d_sh = min(sd_round_rect(u, v, 0.39, 0.52, 0.075, 0.28, 0.035),
                       sd_round_rect(u, v, 0.525, 0.725, 0.21, 0.075, 0.035)) * s
            sh = coverage(d_sh / max(1.0, s / 48.0)) * 0.35
            col = mix(col, (0.0, 10.0, 30.0), sh)
            a_l = coverage(d_l)
            if a_l > 0.0:
                col = mix(col, mix(ICE, MINT, smoothstep(0.2, 0.8, v)), a_l)

            # Spark: amber dot with a short halo, top right of the stem
            d_sp = sd_circle(u, v, 0.68, 0.33, 0.075) * s
            halo = clamp(1.0 - (d_sp / (s * 0.09))) if d_sp > 0.0 else 0.0
            col = mix(col, AMBER, 0.35 * halo * halo)
            a_sp = coverage(d_sp)
            if a_sp > 0.0:
                core = smoothstep(0.075 * s, 0.0, d_sp + 0.075 * s)
                col = mix(col, mix(AMBER, (255.0, 246.0, 220.0), core * 0.7), a_sp)

            pixels.append((col[0], col[1], col[2], 255.0 * a_tile))
    return pixels


# ---------------------------------------------------------------------------
# Pixel-font wordmark
# ---------------------------------------------------------------------------
FONT = {
    "L": ["X....",
          "X....",
          "X....",
          "X....",
          "X....",
          "X....",
          "XXXXX"],
    "u": [".....",
          ".....",
          "X...X",
          "X...X",
          "X...X",
          "X..XX",
          ".XX.X"],
    "m": [".....",
          ".....",
          "XX.X.",
          "X.X.X",
          "X.X.X",
          "X.X.X",
          "X.X.X"],
    "e": [".....",
          ".....",
          ".XXX.",
          "X...X",
          "XXXXX",
          "X....",
          ".XXX."],
    "n": [".....",
          ".....",
          "X.XX.",
          "XX..X",
          "X...X",
          "X...X",
          "X...X"],
    "i": ["..X..",
          ".....",
          ".XX..",
          "..X..",
          "..X..",
          "..X..",
          ".XXX."],
    "x": [".....",
          ".....",
          "X...X",
          ".X.X.",
          "..X..",
          ".X.X.",
          "X...X"],
}


def wordmark_cells(text):
    """Returns (cells, width_in_cells): cells is a set of (col, row)."""
    cells = set()
    cx = 0
    for ch in text:
        rows = FONT[ch]
        used = [c for c in range(5) if any(r[c] == "X" for r in rows)]
        first, last = min(used), max(used)
        for ry, r in enumerate(rows):
            for c in range(first, last + 1):
                if r[c] == "X":
                    cells.add((cx + c - first, ry))
        cx += (last - first + 1) + 1
    return cells, cx - 1


# ---------------------------------------------------------------------------
# Splash screen
# ---------------------------------------------------------------------------
SPLASH_W, SPLASH_H = 512, 197


class Body:
    """Opaque RGB canvas that later gets clipped to the rounded card."""

    def __init__(self, w, h):
        self.w, self.h = w, h
        self.px = [(0.0, 0.0, 0.0)] * (w * h)

    def blend(self, x, y, col, a):
        if a <= 0.0 or x < 0 or y < 0 or x >= self.w or y >= self.h:
            return
        i = y * self.w + x
        if a >= 1.0:
            self.px[i] = (float(col[0]), float(col[1]), float(col[2]))
        else:
            self.px[i] = mix(self.px[i], col, a)

    def add(self, x, y, col, a):
        """Additive light, clamped per channel."""
        if a <= 0.0:
            return
        i = y * self.w + x
        p = self.px[i]
        self.px[i] = (min(255.0, p[0] + col[0] * a),
                      min(255.0, p[1] + col[1] * a),
                      min(255.0, p[2] + col[2] * a))


class Lcg:
    """Tiny fixed-seed generator so the star field never changes."""

    def __init__(self, seed):
        self.state = seed & 0xFFFFFFFF

    def next(self):
        self.state = (self.state * 1664525 + 1013904223) & 0xFFFFFFFF
        return self.state / 4294967296.0


def render_splash():
    W, H = SPLASH_W, SPLASH_H
    body = Body(W, H)

    # Card geometry: an opaque card inset from the canvas with a fading
    # teal halo around it; the halo reaches the canvas edge.
    inset = 4.0
    card_r = 16.0
    halo = inset
    ccx, ccy = W / 2.0, H / 2.0
    chx, chy = W / 2.0 - inset, H / 2.0 - inset

    # 1. Background gradient: navy on the left into deep teal on the right,
    #    darker towards the bottom.
    for y in range(H):
        vy = (y + 0.5) / H
        for x in range(W):
            ux = (x + 0.5) / W
            t = smoothstep(0.0, 1.0, ux * 0.8 + vy * 0.2)
            col = mix(NAVY, DEEP_TEAL, t)
            col = mix(col, (4.0, 10.0, 26.0), 0.35 * smoothstep(0.45, 1.0, vy))
            body.px[y * W + x] = col

    # 2. Light bloom behind the rings on the right.
    bx, by, br = 408.0, 84.0, 210.0
    for y in range(H):
        for x in range(W):
            d = (((x + 0.5 - bx) ** 2 + (y + 0.5 - by) ** 2) ** 0.5) / br
            if d < 1.0:
                f = (1.0 - d) ** 2
                body.add(x, y, (30.0, 120.0, 130.0), 0.45 * f)

    # 3. Concentric rings radiating from the bloom.
    ring_cx, ring_cy = 430.0, 98.0
    rings = [(26.0, 0.55), (52.0, 0.42), (82.0, 0.32), (116.0, 0.24),
             (154.0, 0.17), (196.0, 0.12), (242.0, 0.08)]
    for y in range(H):
        for x in range(W):
            d = ((x + 0.5 - ring_cx) ** 2 + (y + 0.5 - ring_cy) ** 2) ** 0.5
            for radius, strength in rings:
                dd = abs(d - radius)
                if dd < 1.5:
                    body.add(x, y, CYAN, strength * clamp(1.25 - dd) * 0.55)

    # 4. Two faint diagonal light beams sweeping across the card.
    for y in range(H):
        for x in range(W):
            p = (x + 0.5) * 0.94 - (y + 0.5) * 0.34
            for centre, width, strength in ((300.0, 26.0, 0.06), (352.0, 9.0, 0.07)):
                k = 1.0 - abs(p - centre) / width
                if k > 0.0:
                    body.add(x, y, (120.0, 230.0, 240.0), strength * k * k)

    # 5. Star field (deterministic).
    rng = Lcg(0x4C554D)
    for _ in range(70):
        sx = 8.0 + rng.next() * (W - 16.0)
        sy = 8.0 + rng.next() * (H - 16.0)
        bright = 0.25 + 0.75 * rng.next() ** 2
        rad = 0.6 + 1.1 * rng.next() ** 3
        for y in range(int(sy - 3), int(sy + 4)):
            for x in range(int(sx - 3), int(sx + 4)):
                if 0 <= x < W and 0 <= y < H:
                    d = sd_circle(x + 0.5, y + 0.5, sx, sy, rad)
                    a = coverage(d) + 0.25 * clamp(1.0 - d / 2.5) * (d > 0)
                    body.add(x, y, (200.0, 245.0, 255.0), bright * clamp(a))

    # 6. The glyph on the left.
    gsize, gx, gy = 92, 30, 52
    glyph = render_glyph(gsize)
    # soft drop shadow first
    for y in range(gsize + 12):
        for x in range(gsize + 12):
            px_, py_ = gx + x - 2, gy + y
            d = sd_round_rect(x - 2 + 0.5, y + 0.5 - 4, gsize / 2.0, gsize / 2.0,
                              gsize * 0.44, gsize * 0.44, gsize * 0.2)
            a = 0.45 * clamp(1.0 - (d + 2.0) / 8.0)
            body.blend(px_, py_, (0.0, 4.0, 14.0), a)
    for y in range(gsize):
        for x in range(gsize):
            r, g, b, a = glyph[y * gsize + x]
            body.blend(gx + x, gy + y, (r, g, b), a / 255.0)

    # 7. Wordmark "Lumenix" in the pixel font, with a drop shadow.
    cells, wcells = wordmark_cells("Lumenix")
    scale = 6
    wx, wy = 140, 66
    for (c, r) in sorted(cells):
        for yy in range(scale):
            for xx in range(scale):
                body.blend(wx + c * scale + xx + 3, wy + r * scale + yy + 3,
                           (0.0, 6.0, 18.0), 0.5)
    for (c, r) in sorted(cells):
        for yy in range(scale):
            for xx in range(scale):
                py_ = wy + r * scale + yy
                t = (py_ - wy) / (7.0 * scale)
                col = mix(ICE, MINT, smoothstep(0.1, 1.0, t))
                body.blend(wx + c * scale + xx, py_, col, 1.0)

    # 8. Accent rule under the wordmark, fading out to the right.
    rule_x0, rule_x1 = wx, wx + wcells * scale + 60
    rule_y = wy + 7 * scale + 14
    for x in range(rule_x0, rule_x1):
        t = (x - rule_x0) / float(rule_x1 - rule_x0)
        col = mix(AMBER, CYAN, smoothstep(0.0, 0.35, t))
        a = 0.9 * (1.0 - smoothstep(0.45, 1.0, t))
        body.blend(x, rule_y, col, a)
        body.blend(x, rule_y + 1, col, a * 0.85)
        body.blend(x, rule_y + 2, col, a * 0.25)

    # 9. Three small dots trailing the rule, like a quiet "working" cue.
    for k in range(3):
        cx = rule_x0 + 2.5 + k * 10
        cy = rule_y + 16.5
        for y in range(int(cy) - 3, int(cy) + 4):
            for x in range(int(cx) - 3, int(cx) + 4):
                d = sd_circle(x + 0.5, y + 0.5, cx, cy, 2.2)
                body.blend(x, y, CYAN, coverage(d) * (0.9 - 0.25 * k))

    # 10. Thin highlight along the top inner edge of the card.
    for y in range(H):
        for x in range(W):
            d = sd_round_rect(x + 0.5, y + 0.5, ccx, ccy, chx, chy, card_r)
            if -2.5 < d < 0.5:
                top = smoothstep(H * 0.6, 0.0, y)
                body.add(x, y, (110.0, 210.0, 220.0), 0.35 * top * clamp(1.0 - abs(d + 1.0) / 1.5))

    # Final pass: clip to the card and wrap it in the translucent halo.
    out = []
    halo_col = (40.0, 200.0, 210.0)
    for y in range(H):
        for x in range(W):
            d = sd_round_rect(x + 0.5, y + 0.5, ccx, ccy, chx, chy, card_r)
            a_card = coverage(d)
            if d > 0.0:
                k = clamp(1.0 - d / halo)
                a_halo = 0.62 * k * k
            else:
                a_halo = 0.62
            bc = body.px[y * W + x]
            a = a_card + (1.0 - a_card) * a_halo
            if a <= 0.0:
                out.append((0.0, 0.0, 0.0, 0.0))
                continue
            w_card = a_card / a
            col = mix(halo_col, bc, w_card)
            out.append((col[0], col[1], col[2], 255.0 * a))
    return out


# ---------------------------------------------------------------------------
# Icon container
# ---------------------------------------------------------------------------
def median_cut(pixels, n):
    """pixels: list of (r, g, b) ints.  Returns up to n palette colours."""
    counts = {}
    for p in pixels:
        counts[p] = counts.get(p, 0) + 1
    boxes = [sorted(counts.items())]
    while len(boxes) < n:
        best, best_score = None, -1
        for i, box in enumerate(boxes):
            if len(box) < 2:
                continue
            spans = [max(c[0][ch] for c in box) - min(c[0][ch] for c in box) for ch in range(3)]
            weight = sum(c[1] for c in box)
            score = max(spans) * weight ** 0.5
            if score > best_score:
                best, best_score = i, score
        if best is None:
            break
        box = boxes.pop(best)
        spans = [max(c[0][ch] for c in box) - min(c[0][ch] for c in box) for ch in range(3)]
        ch = spans.index(max(spans))
        box.sort(key=lambda c: (c[0][ch], c[0]))
        total = sum(c[1] for c in box)
        acc, cut = 0, 1
        for i, c in enumerate(box):
            acc += c[1]
            if acc * 2 >= total:
                cut = i + 1
                break
        cut = max(1, min(len(box) - 1, cut))
        boxes.insert(best, box[cut:])
        boxes.insert(best, box[:cut])
    palette = []
    for box in boxes:
        w = sum(c[1] for c in box)
        palette.append(tuple(int(round(sum(c[0][ch] * c[1] for c in box) / float(w)))
                             for ch in range(3)))
    return palette


def nearest(palette, c, cache):
    hit = cache.get(c)
    if hit is not None:
        return hit
    best, best_d = 0, None
    for i, p in enumerate(palette):
        if p is None:
            continue
        d = (2 * (p[0] - c[0]) ** 2 + 4 * (p[1] - c[1]) ** 2 + 3 * (p[2] - c[2]) ** 2)
        if best_d is None or d < best_d:
            best, best_d = i, d
    cache[c] = best
    return best


def and_mask(size, rgba):
    """1 bpp mask, bottom-up, rows padded to 32 bits; 1 = transparent."""
    row_bytes = ((size + 31) // 32) * 4
    out = bytearray()
    for y in range(size - 1, -1, -1):
        row = bytearray(row_bytes)
        for x in range(size):
            if rgba[(y * size + x) * 4 + 3] < 128:
                row[x >> 3] |= 0x80 >> (x & 7)
        out += row
    return bytes(out)


def bitmap_header(size, bpp, image_bytes):
    return struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bpp, 0,
                       image_bytes, 0, 0, 0, 0)


def dib_32(size, rgba):
    xor = bytearray()
    for y in range(size - 1, -1, -1):
        for x in range(size):
            i = (y * size + x) * 4
            xor += bytes((rgba[i + 2], rgba[i + 1], rgba[i], rgba[i + 3]))
    mask = and_mask(size, rgba)
    return bitmap_header(size, 32, len(xor) + len(mask)) + bytes(xor) + mask


def dib_palette(size, rgba, bpp):
    colours = 1 << bpp
    opaque = [(rgba[i], rgba[i + 1], rgba[i + 2])
              for i in range(0, len(rgba), 4) if rgba[i + 3] >= 128]
    # Entry 0 stays black: transparent pixels point at it so the XOR pass
    # leaves the screen untouched where the AND mask is set.
    palette = [(0, 0, 0)] + median_cut(opaque, colours - 1)
    while len(palette) < colours:
        palette.append((0, 0, 0))
    search = [None] + palette[1:]
    cache = {}
    indices = []
    for i in range(0, len(rgba), 4):
        if rgba[i + 3] < 128:
            indices.append(0)
        else:
            indices.append(nearest(search, (rgba[i], rgba[i + 1], rgba[i + 2]), cache))

    row_bytes = ((size * bpp + 31) // 32) * 4
    xor = bytearray()
    for y in range(size - 1, -1, -1):
        row = bytearray(row_bytes)
        for x in range(size):
            idx = indices[y * size + x]
            if bpp == 8:
                row[x] = idx
            else:
                if x & 1:
                    row[x >> 1] |= idx
                else:
                    row[x >> 1] |= idx << 4
        xor += row
    mask = and_mask(size, rgba)
    pal = b"".join(bytes((b, g, r, 0)) for (r, g, b) in palette)
    return bitmap_header(size, bpp, len(xor) + len(mask)) + pal + bytes(xor) + mask


def build_ico():
    rendered = {}
    for size in (256, 48, 32, 16):
        rendered[size] = to_rgba_bytes(render_glyph(size))

    # (size, bpp, payload)
    images = [(256, 32, encode_png(256, 256, rendered[256]))]
    for bpp in (32, 8, 4):
        for size in (48, 32, 16):
            if bpp == 32:
                data = dib_32(size, rendered[size])
            else:
                data = dib_palette(size, rendered[size], bpp)
            images.append((size, bpp, data))

    header = struct.pack("<HHH", 0, 1, len(images))
    offset = len(header) + 16 * len(images)
    entries = bytearray()
    blobs = bytearray()
    for size, bpp, data in images:
        dim = 0 if size >= 256 else size
        colour_count = 16 if bpp == 4 else 0
        entries += struct.pack("<BBBBHHII", dim, dim, colour_count, 0, 1, bpp,
                               len(data), offset + len(blobs))
        blobs += data
    return header + bytes(entries) + bytes(blobs)


def main():
    splash = encode_png(SPLASH_W, SPLASH_H, to_rgba_bytes(render_splash()))
    with open(os.path.join(HERE, "splash.png"), "wb") as f:
        f.write(splash)
    ico = build_ico()
    with open(os.path.join(HERE, "lumenix.ico"), "wb") as f:
        f.write(ico)
    print("splash.png  %d bytes" % len(splash))
    print("lumenix.ico %d bytes" % len(ico))


if __name__ == "__main__":
    main()
