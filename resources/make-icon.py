#!/usr/bin/env python3
"""Draws the Vexilo Player icon and writes it as .ico and PNGs.

Usage: make-icon.py OUTDIR

Writes OUTDIR/vexilo.ico (128, 64, 48, 32 and 16 px, 32-bit BMP entries, no
PNG entries so that every Windows version reads them) and
OUTDIR/vexilo-{16,32,48,64,128}.png. This script is the source of the artwork;
the output is the same bytes on every run.
"""
import math
import os
import struct
import sys
import zlib

SIZES = (128, 64, 48, 32, 16)  # order of the images inside the .ico

TOP_LEFT = (168, 16, 28)       # deep red
BOTTOM_RIGHT = (255, 140, 26)  # orange


# Signed distances in tile units (0..1, y down): negative inside.

def sd_round_box(x, y, half, radius):
    qx = abs(x - 0.5) - half + radius
    qy = abs(y - 0.5) - half + radius
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    return outside + min(max(qx, qy), 0.0) - radius


def sd_ellipse(x, y, cx, cy, rx, ry, angle):
    # Rotate into the ellipse frame; first-order distance estimate.
    c, s = math.cos(angle), math.sin(angle)
    px = (x - cx) * c + (y - cy) * s
    py = (y - cy) * c - (x - cx) * s
    k0 = math.hypot(px / rx, py / ry)
    k1 = math.hypot(px / (rx * rx), py / (ry * ry))
    return k0 * (k0 - 1.0) / k1 if k1 > 0.0 else -min(rx, ry)


def sd_convex(x, y, pts):
    # Largest distance to the edge lines of a clockwise (on screen) polygon.
    d = -1e9
    for (ax, ay), (bx, by) in zip(pts, pts[1:] + pts[:1]):
        ex, ey = bx - ax, by - ay
        d = max(d, ((x - ax) * ey - (y - ay) * ex) / math.hypot(ex, ey))
    return d


def note_shapes(size):
    """Two eighth notes joined by a beam, with the stems on whole pixels."""
    px = 1.0 / size
    snap = lambda v: round(v * size) * px
    stem = max(1, round(0.065 * size)) * px
    beam = max(0.13, 2.0 * px)
    grow = 1.15 if size <= 16 else 1.0  # fuller heads when tiny
    rx, ry, tilt = 0.125 * grow, 0.088 * grow, math.radians(-22)
    heads = [(0.335, 0.715), (0.675, 0.645)]
    tops = (0.235, 0.165)  # top edge of the beam at each stem
    if size <= 16:  # a slant of one pixel only blurs: lay the beam flat
        tops = (snap(0.19), snap(0.19))
        beam = 2 * px
    shapes, rights = [], []
    for (cx, cy), top in zip(heads, tops):
        right = snap(cx + rx * 0.93)
        rights.append(right)
        shapes.append(("ellipse", (right - rx * 0.93, cy, rx, ry, tilt)))
        shapes.append(("poly", [(right - stem, top), (right, top),
                                (right, cy - 0.01), (right - stem, cy - 0.01)]))
    x0, x1 = rights[0] - stem, rights[1]
    shapes.append(("poly", [(x0, tops[0]), (x1, tops[1]),
                            (x1, tops[1] + beam), (x0, tops[0] + beam)]))
    return shapes


def sd_shapes(x, y, shapes):
    d = 1e9
    for kind, args in shapes:
        if kind == "ellipse":
            d = min(d, sd_ellipse(x, y, *args))
        else:
            d = min(d, sd_convex(x, y, args))
    return d


def coverage(d, px):
    # Area of the pixel inside the edge, from the distance to its centre.
    return min(1.0, max(0.0, 0.5 - d / px))


def render(size):
    """Returns size*size RGBA tuples, rows top to bottom, straight alpha."""
    px = 1.0 / size
    half = 0.5 - round(size / 32) * px  # a small margin, none at 16 px
    radius = 0.21
    shapes = note_shapes(size)
    shadow_dx, shadow_dy = 0.02, 0.03
    out = []
    for j in range(size):
        y = (j + 0.5) * px
        for i in range(size):
            x = (i + 0.5) * px
            tile = coverage(sd_round_box(x, y, half, radius), px)
            if tile == 0.0:
                out.append((0, 0, 0, 0))
                continue
            t = min(1.0, max(0.0, (0.35 * x + 0.65 * y - 0.1) / 0.8))
            rgb = [a + (b - a) * t for a, b in zip(TOP_LEFT, BOTTOM_RIGHT)]
            # A soft lift at the top of the tile.
            gloss = 0.06 * max(0.0, 1.0 - y / 0.5)
            rgb = [c + (255 - c) * gloss for c in rgb]
            # A soft shadow under the note, then the note itself.
            if size >= 32:
                sd = sd_shapes(x - shadow_dx, y - shadow_dy, shapes)
                dark = 0.28 * coverage(sd, 2.5 * px)
                rgb = [c * (1.0 - dark) for c in rgb]
            note = coverage(sd_shapes(x, y, shapes), px)
            rgb = [c + (255 - c) * note for c in rgb]
            out.append(tuple(int(round(c)) for c in rgb) + (int(round(255 * tile)),))
    return out


def png_bytes(size, pixels):
    def chunk(tag, data):
        body = tag + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    raw = bytearray()
    for j in range(size):
        raw.append(0)  # filter: none
        for p in pixels[j * size:(j + 1) * size]:
            raw.extend(p)
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(bytes(raw), 9))
            + chunk(b"IEND", b""))


def dib_bytes(size, pixels):
    # BITMAPINFOHEADER with the height doubled for colour plus mask.
    mask_stride = ((size + 31) // 32) * 4
    colour = bytearray()
    mask = bytearray()
    for j in reversed(range(size)):  # bottom-up
        row = pixels[j * size:(j + 1) * size]
        for r, g, b, a in row:
            colour.extend((b, g, r, a))
        bits = bytearray(mask_stride)
        for i, p in enumerate(row):
            if p[3] == 0:  # fully transparent: let old Windows show the screen
                bits[i // 8] |= 0x80 >> (i % 8)
        mask.extend(bits)
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0,
                         len(colour) + len(mask), 0, 0, 0, 0)
    return header + bytes(colour) + bytes(mask)


def ico_bytes(images):
    head = struct.pack("<HHH", 0, 1, len(images))
    entries, blobs = b"", b""
    offset = len(head) + 16 * len(images)
    for size, data in images:
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0,
                               1, 32, len(data), offset + len(blobs))
        blobs += data
    return head + entries + blobs


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make-icon.py OUTDIR")
    outdir = sys.argv[1]
    os.makedirs(outdir, exist_ok=True)
    images = []
    for size in SIZES:
        pixels = render(size)
        with open(os.path.join(outdir, "vexilo-%d.png" % size), "wb") as f:
            f.write(png_bytes(size, pixels))
        images.append((size, dib_bytes(size, pixels)))
    with open(os.path.join(outdir, "vexilo.ico"), "wb") as f:
        f.write(ico_bytes(images))


if __name__ == "__main__":
    main()
