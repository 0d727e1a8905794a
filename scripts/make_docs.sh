#!/usr/bin/env bash
# Builds the two documents that ship beside torvane.exe:
#
#   scripts/make_docs.sh OUT_DIR
#
#   OUT_DIR/readme.txt    docs/user/readme.txt in code page 932 with CR LF
#   OUT_DIR/HowtoUse.pdf  docs/user/HowtoUse.md laid out on A4 pages
#
# The guide is written in a small subset of Markdown: "# " title, "## " and
# "### " headings, paragraphs, "- " and "1. " list items (one line each),
# "> " notes and **bold**; list items indented by two or more spaces are
# nested one level. An embedded Python program (standard library only) lays
# the text out in IPAGothic, a fixed-pitch font, into one SVG per A4 page, and
# rsvg-convert turns the pages into one PDF with the font embedded.
#
# Needs (Debian 12): python3, librsvg2-bin (rsvg-convert), fonts-ipafont-gothic;
# iconv and sed come with libc-bin and sed.
#
# The output is the same for the same sources: the PDF's date is taken from
# SOURCE_DATE_EPOCH, or else from the guide's last commit.
set -euo pipefail

if [[ $# -ne 1 ]]; then
  echo "usage: $0 OUT_DIR" >&2
  exit 2
fi
out=$1
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
src="$here/../docs/user"

need() {
  if ! command -v "$1" >/dev/null 2>&1; then
    echo "make_docs: '$1' is missing (Debian package: $2)" >&2
    exit 1
  fi
}
need iconv libc-bin
need python3 python3
need rsvg-convert librsvg2-bin
font=/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf
if command -v fc-list >/dev/null 2>&1; then
  if [[ -z $(fc-list 'IPAGothic' file) ]]; then
    echo "make_docs: the font IPAGothic is missing (Debian package: fonts-ipafont-gothic)" >&2
    exit 1
  fi
elif [[ ! -e $font ]]; then
  echo "make_docs: $font is missing (Debian package: fonts-ipafont-gothic)" >&2
  exit 1
fi

mkdir -p "$out"
pages=$(mktemp -d)
trap 'rm -rf "$pages" "$out/readme.txt.tmp" "$out/HowtoUse.pdf.tmp"' EXIT

# readme.txt: UTF-8 -> code page 932, every line ended by CR LF. Line ends are
# set before the conversion; CR and LF never occur inside a CP932 character.
LC_ALL=C sed -e 's/\r$//' -e 's/$/\r/' "$src/readme.txt" \
  | iconv -f UTF-8 -t CP932 > "$out/readme.txt.tmp"
mv "$out/readme.txt.tmp" "$out/readme.txt"

# HowtoUse.pdf
if [[ -z ${SOURCE_DATE_EPOCH:-} ]]; then
  SOURCE_DATE_EPOCH=$(git -C "$src" log -1 --format=%ct -- HowtoUse.md 2>/dev/null || true)
  if [[ -z $SOURCE_DATE_EPOCH ]]; then
    SOURCE_DATE_EPOCH=$(stat -c %Y "$src/HowtoUse.md")
  fi
fi
export SOURCE_DATE_EPOCH

python3 - "$src/HowtoUse.md" "$pages" <<'PYTHON'
import base64
import os
import struct
import sys
import unicodedata
from xml.sax.saxutils import escape

source, outdir = sys.argv[1], sys.argv[2]

# Page geometry in points (A4).
PAGE_W, PAGE_H = 595.28, 841.89
LEFT, RIGHT, TOP, BOTTOM = 62.0, 62.0, 64.0, 66.0
TEXT_W = PAGE_W - LEFT - RIGHT
FONT = "IPAGothic"
BODY = 10.5            # body size
LEADING = 1.75         # line height as a multiple of the size
INK = "#1a1a1a"
GREY = "#666666"
ACCENT = "#1f3f7a"     # headings: the navy of the icon's title bar

# Characters that must not begin a line, and those that must not end one.
NO_START = set("、。，．,.）)］]｝}」』】〕〉》’”ー～…‥・：；:;！？!?"
               "ぁぃぅぇぉっゃゅょゎァィゥェォッャュョヮヵヶ々ゝゞヽヾ")
NO_END = set("（(［[｛{「『【〔〈《‘“")


def char_width(ch, size):
    """IPAGothic is fixed pitch: wide characters take 1 em, the rest half."""
    if unicodedata.east_asian_width(ch) in ("W", "F", "A"):
        return size
    return size / 2


def units(segments):
    """Splits styled text into unbreakable units: a run of printable ASCII
    without spaces stays whole, a space is a unit, every other character is
    one. Each unit is (text, bold)."""
    out = []
    for text, bold in segments:
        i = 0
        while i < len(text):
            ch = text[i]
            if ch != " " and ord(ch) < 128:
                j = i
                while j < len(text) and text[j] != " " and ord(text[j]) < 128:
                    j += 1
                out.append((text[i:j], bold))
                i = j
            else:
                out.append((ch, bold))
                i += 1
    return out


def width(text, size):
    return sum(char_width(c, size) for c in text)


def breakable(before, after):
    """May a line end after the unit before and the next begin with after?
    A "(" that follows text without a space, as in a menu item's "(X)",
    stays with that text."""
    if after[0] in NO_START or before[-1] in NO_END:
        return False
    if after[0] == "(" and before[-1] != " ":
        return False
    return True


def wrap(segments, size, first_width, rest_width):
    """Greedy line breaking with the usual Japanese rules: no line begins
    with a closing bracket or punctuation, none ends with an opening bracket.
    Returns lines, each a list of (text, bold) units."""

    def strip(line):
        while line and line[0][0] == " ":
            line = line[1:]
        while line and line[-1][0] == " ":
            line = line[:-1]
        return line

    lines, line, w = [], [], 0.0
    limit = first_width
    for u in units(segments):
        if not line and u[0] == " ":
            continue
        uw = width(u[0], size)
        if line and w + uw > limit:
            if u[0] == " ":
                lines.append(strip(line))
                line, w, limit = [], 0.0, rest_width
                continue
            cand = line + [u]
            pos = len(line)
            while pos > 1 and not breakable(cand[pos - 1][0], cand[pos][0]):
                pos -= 1
            lines.append(strip(line[:pos]))
            line = strip(line[pos:] + [u])
            w = sum(width(t, size) for t, _ in line)
            limit = rest_width
            continue
        line.append(u)
        w += uw
    line = strip(line)
    if line:
        lines.append(line)
    return lines


def merge(line):
    """Joins neighbouring units of the same style."""
    out = []
    for text, bold in line:
        if out and out[-1][1] == bold:
            out[-1] = (out[-1][0] + text, bold)
        else:
            out.append((text, bold))
    return out


def svg_text(x, y, size, line, color=INK, anchor=None, bold=False):
    parts = []
    for text, b in merge(line):
        t = escape(text)
        parts.append('<tspan font-weight="bold">%s</tspan>' % t if b or bold else t)
    a = ' text-anchor="%s"' % anchor if anchor else ""
    return ('<text x="%.2f" y="%.2f" font-family="%s" font-size="%.2f" fill="%s"%s '
            'xml:space="preserve">%s</text>' % (x, y, FONT, size, color, a, "".join(parts)))


# ---------------------------------------------------------------- parsing

def level(line):
    """List nesting: items indented by two or more spaces are one level in."""
    return 1 if len(line) - len(line.lstrip(" ")) >= 2 else 0


def parse(path):
    blocks = []
    para = []

    def flush():
        if para:
            blocks.append(("p", " ".join(para)))
            para.clear()

    with open(path, encoding="utf-8") as f:
        for raw in f:
            line = raw.rstrip("\r\n")
            s = line.strip()
            if not s:
                flush()
                continue
            if s.startswith("![") and s.endswith(")") and "](" in s:
                flush()
                alt, target = s[2:-1].split("](", 1)
                blocks.append(("img", os.path.join(os.path.dirname(path), target), alt))
            elif s.startswith("# "):
                flush(); blocks.append(("h1", s[2:].strip()))
            elif s.startswith("## "):
                flush(); blocks.append(("h2", s[3:].strip()))
            elif s.startswith("### "):
                flush(); blocks.append(("h3", s[4:].strip()))
            elif s.startswith("- "):
                flush(); blocks.append(("ul", s[2:].strip(), "・", level(line)))
            elif s.startswith("> "):
                flush(); blocks.append(("note", s[2:].strip()))
            elif s[0].isdigit() and ". " in s[:4]:
                flush()
                num, text = s.split(". ", 1)
                blocks.append(("ol", text.strip(), num + ".", level(line)))
            else:
                para.append(s)
    flush()
    return blocks


def styled(text):
    """Text with **bold** spans as (text, bold) segments."""
    segs = []
    for i, part in enumerate(text.split("**")):
        if part:
            segs.append((part, i % 2 == 1))
    return segs


# ---------------------------------------------------------------- layout
# Every block becomes a list of drawing items: ("text", dy, x, size, line,
# colour, bold) placed on a baseline dy below the block's top, or ("rule",
# dy, x1, x2, thickness, colour), ("bar", dy_top, dy_bottom, x, colour), plus
# the block's height, the space before it and whether it must stay with the
# block after it.

def layout(blocks):
    out = []
    prev = None
    for b in blocks:
        kind = b[0]
        items = []
        if kind == "h1":
            size = 20.0
            items.append(("text", size, 0.0, size, [(b[1], True)], ACCENT, True))
            items.append(("rule", size + 9.0, 0.0, TEXT_W, 1.6, ACCENT))
            out.append((items, size + 14.0, 0.0, True))
        elif kind == "h2":
            size = 14.0
            items.append(("text", size, 0.0, size, [(b[1], True)], ACCENT, True))
            items.append(("rule", size + 5.0, 0.0, TEXT_W, 0.6, "#9aa8c0"))
            out.append((items, size + 12.0, 16.0, True))
        elif kind == "img":
            # A PNG at 120 dpi, narrowed to the text width, with its caption below.
            with open(b[1], "rb") as f:
                data = f.read()
            pw, ph = struct.unpack(">II", data[16:24])
            w = min(pw * 0.6, TEXT_W)
            h = ph * w / pw
            uri = "data:image/png;base64," + base64.b64encode(data).decode("ascii")
            items.append(("image", 4.0, (TEXT_W - w) / 2, w, h, uri))
            size = BODY * 0.85
            items.append(("caption", h + 4.0 + size * 1.4, TEXT_W / 2, size, [(b[2], False)], GREY, False))
            out.append((items, h + 4.0 + size * 2.0, 10.0, False))
        elif kind == "h3":
            size = 11.5
            items.append(("text", size, 0.0, size, [(b[1], True)], ACCENT, True))
            out.append((items, size + 7.0, 8.0, True))
        else:
            size = BODY
            lh = size * LEADING
            segs = styled(b[1])
            if kind == "p":
                indent, marker = 0.0, None
                color = GREY if prev == "h1" else INK
            elif kind in ("ul", "ol"):
                nest = size * 2.0 * b[3]
                indent = nest + (size * 1.5 if kind == "ul" else size * 2.0)
                marker, color = b[2], INK
            else:  # note
                indent, marker, color = size * 1.5, None, GREY
            avail = TEXT_W - indent - 2.0
            lines = wrap(segs, size, avail, avail)
            dy = size
            for i, line in enumerate(lines):
                if i == 0 and marker:
                    mx = indent - width(marker, size) - (size * 0.5 if kind == "ol" else 0.0)
                    items.append(("text", dy, mx, size, [(marker, False)], color, False))
                items.append(("text", dy, indent, size, line, color, False))
                dy += lh
            height = size + lh * (len(lines) - 1) + (lh - size) * 0.6
            if kind == "note":
                items.insert(0, ("bar", -3.0, height - 2.0, size * 0.5, "#9aa8c0"))
            if kind in ("ul", "ol"):
                before = 3.0 if prev in ("ul", "ol") else 6.0
            elif kind == "note":
                before = 8.0
            else:
                before = 6.0 if prev not in ("h1",) else 2.0
            out.append((items, height, before, False))
        prev = kind
    return out


def paginate(laid):
    pages = [[]]
    y = TOP
    limit = PAGE_H - BOTTOM
    i = 0
    while i < len(laid):
        items, height, before, keep = laid[i]
        top = y + (before if pages[-1] else 0.0)
        need = height
        if keep and i + 1 < len(laid):
            nxt = laid[i + 1]
            need = height + nxt[2] + min(nxt[1], BODY * LEADING * 2)
        if top + need > limit and pages[-1]:
            # Split a long text block line by line, or move the block over.
            texts = [it for it in items if it[0] == "text"]
            if not keep and texts and top + BODY * LEADING <= limit:
                fit = [it for it in items if it[0] != "text" or top + it[1] <= limit]
                rest = [it for it in items if it[0] == "text" and top + it[1] > limit]
                if rest and fit:
                    shift = rest[0][1] - BODY
                    pages[-1].append((top, fit))
                    rest = [(k, dy - shift) + tuple(r) for (k, dy, *r) in rest]
                    laid[i] = (rest, height - shift, 0.0, False)
                    pages.append([])
                    y = TOP
                    continue
            pages.append([])
            y = TOP
            continue
        pages[-1].append((top, items))
        y = top + height
        i += 1
    return pages


def render(pages, outdir, title):
    total = len(pages)
    for n, page in enumerate(pages, 1):
        body = []
        for top, items in page:
            for it in items:
                if it[0] == "text":
                    _, dy, x, size, line, color, bold = it
                    body.append(svg_text(LEFT + x, top + dy, size, line, color, bold=bold))
                elif it[0] == "caption":
                    _, dy, x, size, line, color, bold = it
                    body.append(svg_text(LEFT + x, top + dy, size, line, color, anchor="middle"))
                elif it[0] == "image":
                    _, dy, x, w, h, uri = it
                    body.append('<image x="%.2f" y="%.2f" width="%.2f" height="%.2f" xlink:href="%s"/>'
                                % (LEFT + x, top + dy, w, h, uri))
                elif it[0] == "rule":
                    _, dy, x1, x2, th, color = it
                    body.append('<rect x="%.2f" y="%.2f" width="%.2f" height="%.2f" fill="%s"/>'
                                % (LEFT + x1, top + dy, x2 - x1, th, color))
                elif it[0] == "bar":
                    _, y1, y2, x, color = it
                    body.append('<rect x="%.2f" y="%.2f" width="2.4" height="%.2f" fill="%s"/>'
                                % (LEFT + x, top + y1, y2 - y1, color))
        if n > 1:
            body.append(svg_text(PAGE_W - RIGHT, TOP - 30.0, 8.0,
                                 [(title, False)], GREY, anchor="end"))
        body.append(svg_text(PAGE_W / 2, PAGE_H - 36.0, 8.5,
                             [("%d / %d" % (n, total), False)], GREY, anchor="middle"))
        svg = ('<?xml version="1.0" encoding="UTF-8"?>\n'
               '<svg xmlns="http://www.w3.org/2000/svg" xmlns:xlink="http://www.w3.org/1999/xlink" '
               'width="%.2fpt" height="%.2fpt" '
               'viewBox="0 0 %.2f %.2f">\n<rect width="100%%" height="100%%" fill="#ffffff"/>\n%s\n</svg>\n'
               % (PAGE_W, PAGE_H, PAGE_W, PAGE_H, "\n".join(body)))
        with open("%s/page%03d.svg" % (outdir, n), "w", encoding="utf-8") as f:
            f.write(svg)
    return total


blocks = parse(source)
title = next((b[1] for b in blocks if b[0] == "h1"), "")
n = render(paginate(layout(blocks)), outdir, title)
print("make_docs: HowtoUse.pdf has %d page%s" % (n, "" if n == 1 else "s"))
PYTHON

rsvg-convert -f pdf -o "$out/HowtoUse.pdf.tmp" "$pages"/page*.svg
mv "$out/HowtoUse.pdf.tmp" "$out/HowtoUse.pdf"
