#!/usr/bin/env python3
"""Draws the pictures and icons of Update.exe and Brevik.exe into resources/skin/.

The skin pictures are drawn for each display scale the updater knows (100, 125, 150 and 200 %;
NAME.png at 100 %, NAME-125.png and so on), places and sizes rounded to whole pixels as the
program rounds them, and stored as small PNG files (indexed where 256 colours suffice). Each has a
twin, NAME.runs, with the same pixels as a palette and runs of equal pixels: the form the program
stores, which it expands without an imaging library (platform/picture_runs.h).

Python standard library only, and deterministic (the same bytes on every run): the files it writes
are committed, so the build needs no image tools. Run it again after changing the artwork.

    scripts/make-skin.py            write the files
    scripts/make-skin.py --check    regenerate in memory; fail if a committed file differs
    scripts/make-skin.py --out DIR  write into DIR instead
"""

import argparse
import math
import struct
import sys
import zlib
from pathlib import Path

SKIN_DIR = Path(__file__).resolve().parent.parent / "resources" / "skin"

# ---------------------------------------------------------------------------------------------
# The panel: the visible top 100 rows of the 340 x 300 background. Its gradient runs from a deep
# blue under the white title to a light blue under the status line, whose text is the system's
# (dark) button-text colour.

WIDTH, HEIGHT, PANEL_HEIGHT = 340, 300, 100
PANEL_TOP = (36, 104, 196)
PANEL_BOTTOM = (170, 206, 242)
PANEL_FRAME = (16, 58, 128)
WHITE = (255, 255, 255)

TITLE_ICON_AT, TITLE_ICON_SIZE = (8, 8), 16  # where the title icon sits on the panel
CLOSE_AT, CLOSE_SIZE = (312, 8), (24, 20)
SCALES = (100, 125, 150, 200)


def scaled(pixels, scale):
    """A length of the 96-dpi design at SCALE per cent, rounded half up as the program does."""
    return (pixels * scale + 50) // 100


def lerp(a, b, t):
    return tuple(round(x + (y - x) * t) for x, y in zip(a, b))


def panel_colour(x, y, scale=100):
    """Colour of the background picture at (x, y) when drawn at SCALE per cent: the gradient
    runs between the frame lines, which are round(scale / 100) pixels wide."""
    width, panel, frame = scaled(WIDTH, scale), scaled(PANEL_HEIGHT, scale), scaled(1, scale)
    if y >= panel:
        return WHITE
    if x < frame or x >= width - frame or y < frame or y >= panel - frame:
        return PANEL_FRAME
    return lerp(PANEL_TOP, PANEL_BOTTOM, (y - frame) / (panel - 2 * frame - 1))


# ---------------------------------------------------------------------------------------------
# Drawing: shapes are predicates on points; a pixel's coverage is the share of its 8 x 8 sample
# points inside the shape. Images are lists of rows of (r, g, b, a) floats, straight alpha 0..1.

SAMPLES = 8


def disk(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def polygon(*points):
    """A convex polygon, points in clockwise order on screen (y down)."""
    edges = list(zip(points, points[1:] + points[:1]))

    def inside(x, y):
        return all((bx - ax) * (y - ay) - (by - ay) * (x - ax) >= 0 for (ax, ay), (bx, by) in edges)

    return inside


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x <= x1 and y0 <= y <= y1


def arc(cx, cy, r_in, r_out, gap_from, gap_to):
    """A ring without the angles gap_from..gap_to (degrees, counter-clockwise from 3 o'clock)."""

    def inside(x, y):
        d2 = (x - cx) ** 2 + (y - cy) ** 2
        if not r_in * r_in <= d2 <= r_out * r_out:
            return False
        angle = math.degrees(math.atan2(cy - y, x - cx)) % 360
        return not gap_from < angle < gap_to

    return inside


def union(*shapes):
    return lambda x, y: any(s(x, y) for s in shapes)


def minus(shape, hole):
    return lambda x, y: shape(x, y) and not hole(x, y)


def new_image(w, h):
    return [[(0.0, 0.0, 0.0, 0.0)] * w for _ in range(h)]


def paint(image, shape, colour):
    """Composites `shape` over the image; `colour` is an (r, g, b) or a function of (x, y)."""
    step = 1 / SAMPLES
    offsets = [(i + 0.5) * step for i in range(SAMPLES)]
    for y, row in enumerate(image):
        for x, (dr, dg, db, da) in enumerate(row):
            hits = sum(shape(x + ox, y + oy) for oy in offsets for ox in offsets)
            if not hits:
                continue
            a = hits / (SAMPLES * SAMPLES)
            r, g, b = colour(x + 0.5, y + 0.5) if callable(colour) else colour
            out_a = a + da * (1 - a)
            row[x] = tuple((c * a + d * da * (1 - a)) / out_a for c, d in
                           zip((r, g, b), (dr, dg, db))) + (out_a,)


def vertical(top, bottom, y0, y1):
    """A gradient from `top` at y0 to `bottom` at y1."""
    return lambda x, y: lerp(top, bottom, min(1.0, max(0.0, (y - y0) / (y1 - y0))))


def to_bytes(image):
    """Rounds to 8-bit (r, g, b, a) tuples."""
    return [[tuple(round(c) for c in px[:3]) + (round(px[3] * 255),) for px in row]
            for row in image]


# ---------------------------------------------------------------------------------------------
# Artwork. The product's emblem is an orange disc carrying a white "O" drawn as a circular arrow:
# the product's own mark, and the updater's. The install window's icon has a green disc with a
# downward arrow; the registrar's is a document page marked with the emblem.

ORANGE_TOP, ORANGE_BOTTOM, ORANGE_EDGE = (255, 180, 72), (232, 100, 20), (168, 66, 10)
GREEN_TOP, GREEN_BOTTOM, GREEN_EDGE = (128, 206, 96), (42, 142, 52), (26, 96, 34)
PAGE_TOP, PAGE_BOTTOM, PAGE_EDGE, PAGE_FOLD = (255, 255, 255), (222, 230, 240), (104, 116, 134), \
    (188, 200, 216)


def edged_disc(image, size, cx, cy, r, top, bottom, edge):
    width = max(1.0, size / 24)
    paint(image, disk(cx, cy, r), edge)
    paint(image, disk(cx, cy, r - width), vertical(top, bottom, cy - r, cy + r))


def o_arrow(cx, cy, r_in, r_out):
    """The white "O": a ring open at the upper right, ending at the top in an arrow head that
    points clockwise into the opening."""
    w = r_out - r_in
    e = 0.55 * w
    head = polygon((cx, cy - r_out - e), (cx + 1.3 * w, cy - (r_in + r_out) / 2),
                   (cx, cy - r_in + e))
    return union(arc(cx, cy, r_in, r_out, 24, 90), head)


def emblem(size):
    image = new_image(size, size)
    c = size / 2
    edged_disc(image, size, c, c, size * 0.47, ORANGE_TOP, ORANGE_BOTTOM, ORANGE_EDGE)
    paint(image, o_arrow(c, c, size * 0.19, size * 0.33), WHITE)
    return image


def install_emblem(size):
    image = new_image(size, size)
    c = size / 2
    edged_disc(image, size, c, c, size * 0.47, GREEN_TOP, GREEN_BOTTOM, GREEN_EDGE)
    s = size
    arrow = union(rect(c - 0.08 * s, 0.18 * s, c + 0.08 * s, 0.52 * s),
                  polygon((c + 0.24 * s, 0.48 * s), (c, 0.74 * s), (c - 0.24 * s, 0.48 * s)),
                  rect(0.3 * s, 0.78 * s, 0.7 * s, 0.84 * s))
    paint(image, arrow, WHITE)
    return image


def document(size):
    image = new_image(size, size)
    s = size
    t = max(1.0, s / 32)
    left, right, top, bottom, fold = 0.18 * s, 0.84 * s, 0.04 * s, 0.96 * s, 0.24 * s
    page = polygon((left, top), (right - fold, top), (right, top + fold), (right, bottom),
                   (left, bottom))
    inner = polygon((left + t, top + t), (right - fold - 0.4 * t, top + t),
                    (right - t, top + fold + 0.4 * t), (right - t, bottom - t),
                    (left + t, bottom - t))
    paint(image, page, PAGE_EDGE)
    paint(image, inner, vertical(PAGE_TOP, PAGE_BOTTOM, top, bottom))
    paint(image, polygon((right - fold, top), (right, top + fold), (right - fold, top + fold)),
          PAGE_FOLD)
    cx, cy, r = (left + right) / 2, 0.62 * s, 0.24 * s
    edged_disc(image, size, cx, cy, r, ORANGE_TOP, ORANGE_BOTTOM, ORANGE_EDGE)
    paint(image, minus(disk(cx, cy, r * 0.62), disk(cx, cy, r * 0.3)), WHITE)
    return image


def close_button(look, scale=100):
    """The close button: the panel's own blue under a white "x"; pressed darker, hover lighter."""
    x0, y0 = (scaled(v, scale) for v in CLOSE_AT)
    w, h = (scaled(v, scale) for v in CLOSE_SIZE)
    shade = {"normal": lambda c: c,
             "pressed": lambda c: lerp((0, 0, 0), c, 0.72),
             "hover": lambda c: lerp(c, WHITE, 0.3)}[look]
    image = [[shade(panel_colour(x0 + x, y0 + y, scale)) + (1.0,) for x in range(w)]
             for y in range(h)]
    k = scale / 100
    cx, cy, arm, half = w / 2, h / 2, 4.0 * k, 0.9 * k
    bar1 = polygon((cx - arm - half, cy - arm + half), (cx - arm + half, cy - arm - half),
                   (cx + arm + half, cy + arm - half), (cx + arm - half, cy + arm + half))
    bar2 = polygon((cx + arm - half, cy - arm - half), (cx + arm + half, cy - arm + half),
                   (cx - arm + half, cy + arm + half), (cx - arm - half, cy + arm - half))
    paint(image, union(bar1, bar2), WHITE)
    return [[tuple(round(c) for c in px[:3]) for px in row] for row in image]


# ---------------------------------------------------------------------------------------------
# Palettes: a median cut, made deterministic by sorting on the colour itself wherever counts tie.


def median_cut(counts, n):
    """Up to n colours that stand for the colours of `counts` ({colour: pixels})."""
    colours = sorted(counts)
    if len(colours) <= n:
        return colours
    boxes = [colours]

    def spread(box):
        return max(max(c[i] for c in box) - min(c[i] for c in box) for i in range(3))

    while len(boxes) < n:
        splittable = [b for b in boxes if len(b) > 1]
        if not splittable:
            break
        box = max(splittable, key=lambda b: (spread(b) * sum(counts[c] for c in b), b[0]))
        boxes.remove(box)
        channel = max(range(3), key=lambda i: (max(c[i] for c in box) - min(c[i] for c in box),
                                               -i))
        box = sorted(box, key=lambda c: (c[channel], c))
        total, running, cut = sum(counts[c] for c in box), 0, 1
        for i, c in enumerate(box[:-1]):
            running += counts[c]
            cut = i + 1
            if running * 2 >= total:
                break
        boxes += [box[:cut], box[cut:]]
    palette = []
    for box in boxes:
        total = sum(counts[c] for c in box)
        palette.append(tuple(round(sum(c[i] * counts[c] for c in box) / total) for i in range(3)))
    return sorted(set(palette))


def nearest(palette, colour, cache):
    if colour not in cache:
        def distance(i):
            return sum((a - b) ** 2 for a, b in zip(palette[i], colour)), i

        cache[colour] = min(range(len(palette)), key=distance)
    return cache[colour]


def quantize(pixels, reserved, size):
    """Palette of `size` entries starting with `reserved`, and each pixel's index. Pixels that
    are None get index 0."""
    counts = {}
    for px in pixels:
        if px is not None and px not in reserved:
            counts[px] = counts.get(px, 0) + 1
    free = size - len(reserved)
    palette = list(reserved) + [c for c in median_cut(counts, free) if c not in reserved]
    cache = {}
    indices = [0 if px is None else nearest(palette, px, cache) for px in pixels]
    return palette + [(0, 0, 0)] * (size - len(palette)), indices


# ---------------------------------------------------------------------------------------------
# File formats.


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def png_filtered(rows, bpp, strategy):
    """The scanlines with their filter bytes: one filter type for all rows, or (None) per row
    the one with the smallest sum of absolute values, the usual heuristic."""
    out, previous = bytearray(), bytes(len(rows[0]))
    for row in rows:
        candidates = []
        for kind in ((strategy,) if strategy is not None else range(5)):
            line = bytearray(len(row))
            for i, value in enumerate(row):
                left = row[i - bpp] if i >= bpp else 0
                up = previous[i]
                corner = previous[i - bpp] if i >= bpp else 0
                if kind == 0:
                    predicted = 0
                elif kind == 1:
                    predicted = left
                elif kind == 2:
                    predicted = up
                elif kind == 3:
                    predicted = (left + up) // 2
                else:
                    p = left + up - corner
                    pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                    predicted = left if pa <= pb and pa <= pc else up if pb <= pc else corner
                line[i] = (value - predicted) & 0xFF
            candidates.append((sum(v if v < 128 else 256 - v for v in line), kind, line))
        _, kind, line = min(candidates, key=lambda c: (c[0], c[1]))
        out += bytes((kind,)) + line
        previous = row
    return bytes(out)


def png(rows, transparent=None):
    """A PNG of rows of (r, g, b) or None (transparent). Indexed when 256 colours or fewer, with
    the transparent pixels at index 0; otherwise 8-bit RGB. The smallest of the filter choices,
    at zlib's best compression."""
    h, w = len(rows), len(rows[0])
    colours = sorted({px for row in rows for px in row if px is not None})
    if transparent is not None or len(colours) <= 256:
        palette = ([transparent] if transparent is not None else []) + colours
        index = {c: i for i, c in enumerate(palette)}
        bits = next(b for b in (1, 2, 4, 8) if len(palette) <= 1 << b)
        raw, per_byte = [], 8 // bits
        for row in rows:
            values = [0 if px is None else index[px] for px in row]
            line = bytearray((w + per_byte - 1) // per_byte)
            for x, v in enumerate(values):
                line[x // per_byte] |= v << (8 - bits * (x % per_byte + 1))
            raw.append(bytes(line))
        header = struct.pack(">IIBBBBB", w, h, bits, 3, 0, 0, 0)
        extra = png_chunk(b"PLTE", b"".join(bytes(c) for c in palette))
        if transparent is not None:
            extra += png_chunk(b"tRNS", b"\0")
        bpp = 1
    else:
        raw = [b"".join(bytes(px) for px in row) for row in rows]
        header = struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0)
        extra, bpp = b"", 3
    data = min((zlib.compress(png_filtered(raw, bpp, s), 9) for s in (0, 1, 2, 3, 4, None)),
               key=len)
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header) + extra +
            png_chunk(b"IDAT", data) + png_chunk(b"IEND", b""))


def runs(rows, transparent=None):
    """The pixels of png(rows, transparent) as the program stores them: "ORL1", width, height,
    the palette (0xAARRGGBB, premultiplied: the transparent colour is 0) and runs of (length in
    7-bit groups, palette index)."""
    h, w = len(rows), len(rows[0])
    pixels = [px for row in rows for px in row]
    colours = sorted({px for px in pixels if px is not None})
    palette = ([None] if transparent is not None else []) + colours
    if len(palette) > 256:
        raise ValueError("more than 256 colours have no run-length form")
    index = {c: i for i, c in enumerate(palette)}
    out = bytearray(b"ORL1" + struct.pack("<HHH", w, h, len(palette)))
    for c in palette:
        out += struct.pack("<I", 0 if c is None else 0xFF000000 | c[0] << 16 | c[1] << 8 | c[2])
    at = 0
    while at < len(pixels):
        end = at
        while end < len(pixels) and pixels[end] == pixels[at]:
            end += 1
        length = end - at
        while length > 0x7F:
            out.append(0x80 | length & 0x7F)
            length >>= 7
        out += bytes([length, index[pixels[at]]])
        at = end
    return bytes(out)


def mask_rows(image, size):
    """The AND mask: 1 where the pixel is transparent, rows padded to 32 bits."""
    stride = ((size + 31) // 32) * 4
    body = bytearray()
    for row in reversed(image):
        line = bytearray(stride)
        for x, px in enumerate(row):
            if px[3] < 128:
                line[x // 8] |= 0x80 >> (x % 8)
        body += line
    return body


def icon_image(image, bits):
    """One icon image: BITMAPINFOHEADER (double height), palette, colour rows, AND mask."""
    size = len(image)
    palette_bytes, colours = b"", bytearray()
    if bits == 32:
        # Straight alpha; fully transparent pixels are black so the AND/XOR pair is exact too.
        for row in reversed(image):
            for r, g, b, a in row:
                colours += bytes((b, g, r, a)) if a else bytes(4)
    else:
        # Black comes first: transparent pixels must be black for the XOR step.
        pixels = [px[:3] if px[3] >= 128 else None for row in image for px in row]
        palette, indices = quantize(pixels, [(0, 0, 0)], 1 << bits)
        palette_bytes = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
        stride = (size * bits // 8 + 3) & ~3
        for y in reversed(range(size)):
            line = bytearray(stride)
            for x in range(size):
                i = indices[y * size + x]
                if bits == 8:
                    line[x] = i
                else:
                    line[x // 2] |= i << (4 if x % 2 == 0 else 0)
            colours += line
    mask = mask_rows(image, size)
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, len(colours) + len(mask),
                       0, 0, 0, 0)
    return info + palette_bytes + colours + mask


def ico(images):
    """An icon file of (size, bits, image) entries, in the given order."""
    header = struct.pack("<HHH", 0, 1, len(images))
    offset = len(header) + 16 * len(images)
    entries, blobs = bytearray(), bytearray()
    for size, bits, image in images:
        blob = icon_image(image, bits)
        colour_count = 1 << bits if bits < 8 else 0
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, colour_count, 0, 1, bits,
                               len(blob), offset + len(blobs))
        blobs += blob
    return header + entries + blobs


# ---------------------------------------------------------------------------------------------
# The files.


def background(scale):
    w, h = scaled(WIDTH, scale), scaled(HEIGHT, scale)
    return [[panel_colour(x, y, scale) for x in range(w)] for y in range(h)], None


def title_icon(scale):
    """128 colours at most, one of them transparent. Edge pixels are blended over the very panel
    rows the icon sits on, so they melt into the panel."""
    size = scaled(TITLE_ICON_SIZE, scale)
    x0, y0 = (scaled(v, scale) for v in TITLE_ICON_AT)
    image = emblem(size)
    pixels = []
    for y, row in enumerate(image):
        for x, (r, g, b, a) in enumerate(row):
            if a < 0.15:
                pixels.append(None)
                continue
            under = panel_colour(x0 + x, y0 + y, scale)
            pixels.append(tuple(round(c * a + u * (1 - a)) for c, u in zip((r, g, b), under)))
    # The transparent entry holds the panel's colour for viewers that ignore transparency.
    backdrop = panel_colour(x0, y0 + size // 2, scale)
    palette, indices = quantize(pixels, [backdrop, WHITE, ORANGE_EDGE], 128)
    rows = [[None if pixels[y * size + x] is None else palette[indices[y * size + x]]
             for x in range(size)] for y in range(size)]
    return rows, backdrop


def icon(draw, depths):
    images = {size: to_bytes(draw(size)) for size in (48, 32, 16)}
    return ico([(size, bits, images[size]) for size in (48, 32, 16) for bits in depths])


def outputs():
    files = {}
    for scale in SCALES:
        suffix = "" if scale == 100 else f"-{scale}"
        pictures = {"background": background(scale), "title": title_icon(scale)}
        for look in ("normal", "pressed", "hover"):
            pictures[f"close_{look}"] = close_button(look, scale), None
        for name, (rows, transparent) in pictures.items():
            files[f"{name}{suffix}.png"] = png(rows, transparent)
            files[f"{name}{suffix}.runs"] = runs(rows, transparent)
    files.update({
        "update.ico": icon(emblem, (8, 32)),
        "install.ico": icon(install_emblem, (4, 8, 32)),
        "brevik.ico": icon(document, (8, 32)),
    })
    return files


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--check", action="store_true",
                        help="compare with the committed files instead of writing")
    parser.add_argument("--out", type=Path, default=SKIN_DIR, help="output folder")
    args = parser.parse_args()

    files = outputs()
    if args.check:
        stale = [name for name, data in files.items()
                 if not (args.out / name).is_file() or (args.out / name).read_bytes() != data]
        for name in stale:
            print(f"make-skin: {args.out / name} is not what the script draws", file=sys.stderr)
        return 1 if stale else 0
    args.out.mkdir(parents=True, exist_ok=True)
    for name, data in files.items():
        (args.out / name).write_bytes(data)
    print(f"make-skin: wrote {len(files)} files to {args.out}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
