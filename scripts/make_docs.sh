#!/usr/bin/env bash
# Builds the two documents that ship beside torvane.exe:
#
#   scripts/make_docs.sh OUT_DIR
#
#   OUT_DIR/readme.txt    docs/user/readme.txt in code page 932 with CR LF
#   OUT_DIR/HowtoUse.pdf  docs/user/HowtoUse.md laid out on A4 pages
#
# The guide is CommonMark with tables. markdown-it (Debian's
# python3-markdown-it) turns it into HTML, an image alone in its paragraph
# becomes a figure with its text as the caption, and WeasyPrint lays it out
# with docs/user/guide.css in IPAGothic, which it embeds.
#
# Needs (Debian 12): python3-markdown-it, weasyprint, fonts-ipafont-gothic;
# iconv and sed come with libc-bin and sed.
#
# The output is the same for the same sources: the PDF's dates are taken from
# SOURCE_DATE_EPOCH, or else from the guide's last commit.
set -euo pipefail

if [[ $# -ne 1 ]]; then
  echo "usage: $0 OUT_DIR" >&2
  exit 2
fi
out=$1
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
src=$(cd "$here/../docs/user" && pwd)

need() {
  if ! command -v "$1" >/dev/null 2>&1; then
    echo "make_docs: '$1' is missing (Debian package: $2)" >&2
    exit 1
  fi
}
need iconv libc-bin
need weasyprint weasyprint
# Debian's own Python, which has its packages (another python3 may come first on PATH).
python=/usr/bin/python3
if ! "$python" -c 'import markdown_it' 2>/dev/null; then
  echo "make_docs: markdown-it is missing (Debian package: python3-markdown-it)" >&2
  exit 1
fi
if [[ -z $(fc-list 'IPAGothic' file 2>/dev/null) ]]; then
  echo "make_docs: the font IPAGothic is missing (Debian package: fonts-ipafont-gothic)" >&2
  exit 1
fi

mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work" "$out/readme.txt.tmp" "$out/HowtoUse.pdf.tmp"' EXIT

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

"$python" - "$src/HowtoUse.md" "$work/guide.html" <<'PYTHON'
import base64, html, os, re, sys
from markdown_it import MarkdownIt

source, target = sys.argv[1], sys.argv[2]
text = open(source, encoding="utf-8").read()
body = MarkdownIt("commonmark").enable("table").render(text)
# An image alone in its paragraph: a figure, its text the caption. The
# picture goes in as data: WeasyPrint names an image by its address, which
# would differ from one checkout to the next.
def figure(m):
    with open(os.path.join(os.path.dirname(source), html.unescape(m.group(1))), "rb") as f:
        data = base64.b64encode(f.read()).decode("ascii")
    return ('<figure><img src="data:image/png;base64,%s" alt="%s" /><figcaption>%s</figcaption></figure>'
            % (data, m.group(2), m.group(2)))
body = re.sub(r'<p><img src="([^"]*)" alt="([^"]*)" /></p>', figure, body)
title = html.escape(text.splitlines()[0].lstrip("# ").strip())
with open(target, "w", encoding="utf-8") as f:
    f.write('<!DOCTYPE html>\n<html lang="ja"><head><meta charset="utf-8"><title>%s</title></head>\n<body>\n%s</body></html>\n'
            % (title, body))
PYTHON
weasyprint --quiet --stylesheet "$src/guide.css" "$work/guide.html" "$out/HowtoUse.pdf.tmp"
mv "$out/HowtoUse.pdf.tmp" "$out/HowtoUse.pdf"
