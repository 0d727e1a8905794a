#!/usr/bin/env python3
"""Draws Torvane's icons and its drag cursor and writes them as .ico/.cur files.

    scripts/make_resources.py [--out DIR] [--png DIR]

Writes into DIR (default: res/icons beside this script's parent folder):

    app.ico      icon 107: 32x32 and 16x16, 16 colours (4 bpp)
    small.ico    icon 130: 16x16, 16 colours (4 bpp)
    pick.ico     icon 131: 32x32, 2 colours (1 bpp)
    pointer.cur  cursor "IDC_POINTER": 32x32, 2 colours, hot spot (15, 15)

Pictures: a window (title bar and body) held by a red push pin, "kept in
place"; the picking icon is a target and the cursor a crosshair. The two
window-and-pin pictures are character maps below; the target and the cursor
are drawn from circles and lines. Nothing depends on the time or the machine,
so every run writes the same bytes.

With --png DIR it also writes enlarged PNG previews (8x, on a checkerboard)
for looking at the pictures. Python 3 standard library only.
"""

import argparse
import os
import struct
import sys
import zlib

# The standard 16-colour palette of Windows, in index order (R, G, B).
PALETTE16 = [
    (0x00, 0x00, 0x00),  # 0 black
    (0x80, 0x00, 0x00),  # 1 maroon
    (0x00, 0x80, 0x00),  # 2 green
    (0x80, 0x80, 0x00),  # 3 olive
    (0x00, 0x00, 0x80),  # 4 navy
    (0x80, 0x00, 0x80),  # 5 purple
    (0x00, 0x80, 0x80),  # 6 teal
    (0xC0, 0xC0, 0xC0),  # 7 silver
    (0x80, 0x80, 0x80),  # 8 grey
    (0xFF, 0x00, 0x00),  # 9 red
    (0x00, 0xFF, 0x00),  # 10 lime
    (0xFF, 0xFF, 0x00),  # 11 yellow
    (0x00, 0x00, 0xFF),  # 12 blue
    (0xFF, 0x00, 0xFF),  # 13 fuchsia
    (0x00, 0xFF, 0xFF),  # 14 aqua
    (0xFF, 0xFF, 0xFF),  # 15 white
]
PALETTE2 = [(0x00, 0x00, 0x00), (0xFF, 0xFF, 0xFF)]
# The picking icon's two colours. Its white is a shade off pure white: a
# black-and-white icon is a monochrome one, which Wine's static controls
# refuse to show; any other pair of colours makes a colour icon.
PALETTE2_ICON = [(0x00, 0x00, 0x00), (0xFE, 0xFE, 0xFE)]

# Map characters of the 16-colour pictures; "." is transparent.
KEY16 = {
    "K": 0, "r": 1, "g": 2, "o": 3, "n": 4, "p": 5, "t": 6, "S": 7,
    "G": 8, "R": 9, "L": 10, "Y": 11, "B": 12, "M": 13, "C": 14, "W": 15,
}
# Map characters of the 2-colour pictures; "." is transparent.
KEY2 = {"K": 0, "W": 1}

# ---------------------------------------------------------------------------
# Pictures

# A window with a navy title bar, three caption buttons and a few lines of
# text, pinned at its top right corner by a red push pin.
APP32 = [
    "..........................KKK...",
    ".........................KRRRK..",
    "........................KRWRRRK.",
    ".......................KRWWRRRrK",
    "......................KRRRRRRRrK",
    "KKKKKKKKKKKKKKKKKKKKKKKRRRRRRrK.",
    "KnnnnnnnnnnnnnnnnnnnnKRRRRRRrK..",
    "KnWWWWWWWnnnnnnnnnnnKrKRRRrrK...",
    "KnnnnnnnnnnnnnnnnnnKRrrKRrrK....",
    "KnnnnnnnnnnnnnnnnnnKRRrrKrK.....",
    "KnnnnnnnnnnnnnnnnnnnKRRrrKK.....",
    "KSSSSSSSSSSSSSSSSSSSGKRRrK......",
    "KSWWWWWWWWWWWWWWWWWGKSKKKG......",
    "KSWWWWWWWWWWWWWWWWGKGWWSKG......",
    "KSWKKKKKKKKKKWWWWGKGWWWSKG......",
    "KSWWWWWWWWWWWWWWGKGWWWWSKG......",
    "KSWKKKKKKKKKWWWWKGWWWWWSKG......",
    "KSWWWWWWWWWWWWWWWWWWWWWSKG......",
    "KSWKKKKKKKKKKKKWWWWWWWWSKG......",
    "KSWWWWWWWWWWWWWWWWWWWWWSKG......",
    "KSWKKKKKKKKWWWWWWWWWWWWSKG......",
    "KSWWWWWWWWWWWWWWWWWWWWWSKG......",
    "KSWKKKKKKKKKKKKKWWWWWWWSKG......",
    "KSWWWWWWWWWWWWWWWWWWWWWSKG......",
    "KSWKKKKKKKKKKWWWWWWWWWWSKG......",
    "KSWWWWWWWWWWWWWWWWWWWWWSKG......",
    "KSWKKKKKKKKKKKKWWWWWWWWSKG......",
    "KSWWWWWWWWWWWWWWWWWWWWWSKG......",
    "KSWWWWWWWWWWWWWWWWWWWWWSKG......",
    "KSSSSSSSSSSSSSSSSSSSSSSSKG......",
    "KKKKKKKKKKKKKKKKKKKKKKKKKG......",
    ".GGGGGGGGGGGGGGGGGGGGGGGGG......",
]

# The same motif at 16x16.
APP16 = [
    "..........KKKK..",
    ".........KRRWWK.",
    "........KRRRRWRK",
    "KKKKKKKKKRRRRRRK",
    "KnnnnnnnKrRRRRRK",
    "KnWWWnnnKrrRRRrK",
    "KnnnnnnnnKrrrrK.",
    "KSSSSSSSGSKKKK..",
    "KSWWWWWKWWWSKG..",
    "KSWKKKWWWWWSKG..",
    "KSWWWWWWWWWSKG..",
    "KSWKKKKKKWWSKG..",
    "KSWWWWWWWWWSKG..",
    "KSSSSSSSSSSSKG..",
    "KKKKKKKKKKKKKG..",
    ".GGGGGGGGGGGGG..",
]

POINTER_HOTSPOT = (15, 15)


def _ring_distance(x, y, cx, cy):
    """Distance of pixel (x, y)'s centre from the point (cx, cy)."""
    return ((x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2) ** 0.5


def draw_pick32():
    """The drag-to-pick icon: a white target with a black rim, an inner ring
    and a crosshair of two-pixel lines that stops short of the centre."""
    size = 32
    c = 16.0  # between pixels 15 and 16: the picture is symmetric
    rows = []
    for y in range(size):
        row = ""
        for x in range(size):
            d = _ring_distance(x, y, c, c)
            on_cross = (x in (15, 16) and 1 <= y <= 30) or (y in (15, 16) and 1 <= x <= 30)
            if on_cross and d > 3.0:
                row += "K"
            elif 12.0 <= d < 13.6:
                row += "K"          # outer rim, two pixels wide
            elif 6.4 <= d < 7.6:
                row += "K"          # inner ring
            elif d < 12.0:
                row += "W"
            else:
                row += "."
        rows.append(row)
    return rows


def draw_pointer32():
    """The drag cursor: a one-pixel black crosshair and ring centred on the
    hot spot (15, 15), a dot on the hot spot, a gap around it, and a white
    edge around every black pixel so that it shows on dark and light windows."""
    size = 32
    hx, hy = POINTER_HOTSPOT
    black = set()
    for i in range(size):
        for (x, y) in ((hx, i), (i, hy)):
            d = abs(x - hx) + abs(y - hy)
            if 3 <= d <= 14:
                black.add((x, y))
    black.add((hx, hy))
    for y in range(size):
        for x in range(size):
            d = ((x - hx) ** 2 + (y - hy) ** 2) ** 0.5
            if 7.5 <= d < 8.5:
                black.add((x, y))
    rows = []
    for y in range(size):
        row = ""
        for x in range(size):
            if (x, y) in black:
                row += "K"
            elif any((x + dx, y + dy) in black
                     for dx in (-1, 0, 1) for dy in (-1, 0, 1)):
                row += "W"
            else:
                row += "."
        rows.append(row)
    return rows

# ---------------------------------------------------------------------------
# Encoding


def parse(rows, key, size):
    """Turns a character map into rows of palette indices (None = transparent)."""
    if len(rows) != size:
        raise ValueError("picture has %d rows, expected %d" % (len(rows), size))
    pixels = []
    for y, row in enumerate(rows):
        if len(row) != size:
            raise ValueError("row %d has %d columns, expected %d" % (y, len(row), size))
        line = []
        for ch in row:
            if ch == ".":
                line.append(None)
            elif ch in key:
                line.append(key[ch])
            else:
                raise ValueError("row %d: unknown colour %r" % (y, ch))
        pixels.append(line)
    return pixels


def pack_row(values, bpp):
    """Packs one row of values at bpp bits each, padded to a 32-bit boundary."""
    out = bytearray()
    acc = 0
    nbits = 0
    for v in values:
        acc = (acc << bpp) | v
        nbits += bpp
        if nbits == 8:
            out.append(acc)
            acc = 0
            nbits = 0
    if nbits:
        out.append(acc << (8 - nbits))
    while len(out) % 4:
        out.append(0)
    return bytes(out)


def dib(pixels, bpp, palette):
    """One icon or cursor image: BITMAPINFOHEADER, palette, XOR and AND bitmaps.

    Transparent pixels have colour 0 in the XOR bitmap and bit 1 in the AND
    mask, so the screen shows through unchanged. Rows are stored bottom-up.
    """
    size = len(pixels)
    xor_rows = []
    and_rows = []
    for row in reversed(pixels):
        xor_rows.append(pack_row([0 if p is None else p for p in row], bpp))
        and_rows.append(pack_row([1 if p is None else 0 for p in row], 1))
    xor_bits = b"".join(xor_rows)
    and_bits = b"".join(and_rows)
    header = struct.pack(
        "<IiiHHIIiiII",
        40,              # biSize
        size,            # biWidth
        size * 2,        # biHeight: XOR and AND bitmaps together
        1,               # biPlanes
        bpp,             # biBitCount
        0,               # biCompression: BI_RGB
        len(xor_bits) + len(and_bits),  # biSizeImage
        0, 0,            # biXPelsPerMeter, biYPelsPerMeter
        0, 0,            # biClrUsed, biClrImportant: the full 2**bpp colours
    )
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)
    if len(palette) != 1 << bpp:
        raise ValueError("palette does not fit the colour depth")
    return header + colours + xor_bits + and_bits


def icon_file(images, kind=1, hotspots=None):
    """An .ico (kind 1) or .cur (kind 2) file of the given images.

    images: a list of (pixels, bpp, palette). For a cursor, hotspots gives the
    (x, y) of each image; it takes the place of the planes and bit count of
    the directory entry.
    """
    count = len(images)
    blobs = [dib(p, bpp, pal) for (p, bpp, pal) in images]
    out = bytearray(struct.pack("<HHH", 0, kind, count))
    offset = 6 + 16 * count
    for i, ((pixels, bpp, palette), blob) in enumerate(zip(images, blobs)):
        size = len(pixels)
        colours = len(palette) if len(palette) < 256 else 0
        if kind == 1:
            field1, field2 = 1, bpp
        else:
            field1, field2 = hotspots[i]
        out += struct.pack(
            "<BBBBHHII",
            size if size < 256 else 0,
            size if size < 256 else 0,
            colours,
            0,
            field1,
            field2,
            len(blob),
            offset,
        )
        offset += len(blob)
    for blob in blobs:
        out += blob
    return bytes(out)


# ---------------------------------------------------------------------------
# Previews


def png(width, height, rgb_rows):
    """A minimal 8-bit RGB PNG."""

    def chunk(tag, data):
        return (struct.pack(">I", len(data)) + tag + data
                + struct.pack(">I", zlib.crc32(tag + data) & 0xFFFFFFFF))

    raw = b"".join(b"\x00" + bytes(row) for row in rgb_rows)
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def preview(pixels, palette, scale=8):
    size = len(pixels)
    rows = []
    for y in range(size * scale):
        row = bytearray()
        for x in range(size * scale):
            p = pixels[y // scale][x // scale]
            if p is None:
                light = ((x // 4) + (y // 4)) % 2
                row += bytes((0xE8, 0xD8, 0xF0)) if light else bytes((0xB8, 0xA8, 0xC8))
            else:
                row += bytes(palette[p])
        rows.append(row)
    return png(size * scale, size * scale, rows)


# ---------------------------------------------------------------------------


def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description="Draw Torvane's icons and cursor.")
    parser.add_argument("--out", default=os.path.join(here, "..", "res", "icons"),
                        help="folder for the .ico and .cur files (default: res/icons)")
    parser.add_argument("--png", metavar="DIR",
                        help="also write enlarged PNG previews into DIR")
    args = parser.parse_args(argv)

    app32 = parse(APP32, KEY16, 32)
    app16 = parse(APP16, KEY16, 16)
    pick32 = parse(draw_pick32(), KEY2, 32)
    pointer32 = parse(draw_pointer32(), KEY2, 32)

    files = {
        "app.ico": icon_file([(app32, 4, PALETTE16), (app16, 4, PALETTE16)]),
        "small.ico": icon_file([(app16, 4, PALETTE16)]),
        "pick.ico": icon_file([(pick32, 1, PALETTE2_ICON)]),
        "pointer.cur": icon_file([(pointer32, 1, PALETTE2)], kind=2,
                                 hotspots=[POINTER_HOTSPOT]),
    }
    os.makedirs(args.out, exist_ok=True)
    for name, data in files.items():
        with open(os.path.join(args.out, name), "wb") as f:
            f.write(data)

    if args.png:
        os.makedirs(args.png, exist_ok=True)
        previews = {
            "app32.png": (app32, PALETTE16),
            "app16.png": (app16, PALETTE16),
            "pick32.png": (pick32, PALETTE2),
            "pointer32.png": (pointer32, PALETTE2),
        }
        for name, (pixels, palette) in previews.items():
            with open(os.path.join(args.png, name), "wb") as f:
                f.write(preview(pixels, palette))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
