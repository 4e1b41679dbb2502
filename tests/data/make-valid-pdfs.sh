#!/bin/sh
# Writes the valid PDFs of tests/data/valid/, made by common producers: Ghostscript's pdfwrite
# (through ps2pdf) at several compatibility levels, qpdf (object streams, linearized, QDF),
# mutool create, and an incremental update appended here. The tests read the committed files;
# run this again only to remake them (needs ghostscript, qpdf, mupdf-tools and python3).
#
# The output is deterministic: dates come from SOURCE_DATE_EPOCH, Ghostscript derives the
# document ID from its arguments (so every file is written under the same relative names),
# and qpdf derives it from the content. The files hold no literal strings with bytes of 0x80
# or more, which the check counts as garbage in a dictionary.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
out="$here/valid"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
export SOURCE_DATE_EPOCH=0

# Two pages of text and a rule.
cat > text.ps <<'EOF'
%!PS
/Helvetica findfont 18 scalefont setfont
72 720 moveto (Page one) show
newpath 72 700 moveto 300 700 lineto stroke
showpage
/Times-Roman findfont 14 scalefont setfont
72 720 moveto (Page two, in another font) show
showpage
EOF

# One page of filled and stroked shapes in colour.
cat > shapes.ps <<'EOF'
%!PS
0.8 0.1 0.1 setrgbcolor
100 500 200 150 rectfill
0.1 0.3 0.8 setrgbcolor
4 setlinewidth
newpath 300 300 80 0 360 arc closepath stroke
0 0.5 0 setrgbcolor
newpath 100 100 moveto 200 250 300 50 400 200 curveto stroke
showpage
EOF

# One page with a small grey image: binary stream data.
cat > image.ps <<'EOF'
%!PS
100 400 translate 200 200 scale
16 16 8 [16 0 0 -16 0 16]
{ <
00102030405060708090a0b0c0d0e0f0 f0e0d0c0b0a090807060504030201000
00102030405060708090a0b0c0d0e0f0 f0e0d0c0b0a090807060504030201000
00102030405060708090a0b0c0d0e0f0 f0e0d0c0b0a090807060504030201000
00102030405060708090a0b0c0d0e0f0 f0e0d0c0b0a090807060504030201000
00102030405060708090a0b0c0d0e0f0 f0e0d0c0b0a090807060504030201000
00102030405060708090a0b0c0d0e0f0 f0e0d0c0b0a090807060504030201000
00102030405060708090a0b0c0d0e0f0 f0e0d0c0b0a090807060504030201000
00102030405060708090a0b0c0d0e0f0 f0e0d0c0b0a090807060504030201000
> } image
showpage
EOF

ps() {  # ps2pdf at a compatibility level: ps LEVEL SOURCE NAME
  ps2pdf -dCompatibilityLevel="$1" "$2" "$3"
}
ps 1.2 text.ps gs-1.2-text.pdf
ps 1.3 shapes.ps gs-1.3-shapes.pdf
ps 1.4 image.ps gs-1.4-image.pdf
ps 1.5 text.ps gs-1.5-text.pdf
ps 1.6 shapes.ps gs-1.6-shapes.pdf
ps 1.7 image.ps gs-1.7-image.pdf

# qpdf rewrites: objects packed in object streams behind a cross-reference stream, a
# linearized file (its first-page table starts above object 0), both, and QDF form.
qpdf --deterministic-id --object-streams=generate gs-1.5-text.pdf qpdf-objstm.pdf
qpdf --deterministic-id --linearize gs-1.5-text.pdf qpdf-linearized.pdf
qpdf --deterministic-id --linearize --object-streams=generate gs-1.3-shapes.pdf qpdf-linearized-objstm.pdf
qpdf --deterministic-id --qdf gs-1.4-image.pdf qpdf-qdf.pdf

# mutool create: compact dictionaries, nested ones closing together (">>>>").
cat > page.txt <<'EOF'
%%MediaBox 0 0 300 200
%%Font Helv Helvetica
BT /Helv 14 Tf 20 150 Td (Hello from mutool) Tj ET
20 20 m 280 20 l S
EOF
mutool create -o mutool-two-pages.pdf page.txt page.txt
mutool create -O compress -o mutool-compressed.pdf page.txt

# An incremental update: a new version of the first page (rotated) appended after the
# original, with a full new table that lists it and names the old one through /Prev.
python3 - gs-1.2-text.pdf incremental-update.pdf <<'EOF'
import re, sys
src, dst = sys.argv[1], sys.argv[2]
data = open(src, 'rb').read()
prev = int(re.findall(rb'startxref\s+(\d+)', data)[-1])
head = re.match(rb'xref\s+0 (\d+)\s+', data[prev:])
size = int(head.group(1))
start = prev + head.end()
lines = [data[start + 20 * i:start + 20 * (i + 1)] for i in range(size)]
root = int(re.search(rb'/Root (\d+) 0 R', data[prev:]).group(1))
catalog = data[int(lines[root][:10]):]
pages = int(re.search(rb'/Pages (\d+) 0 R', catalog).group(1))
kids = data[int(lines[pages][:10]):]
page = int(re.search(rb'/Kids \[\s*(\d+) 0 R', kids).group(1))
old = data[int(lines[page][:10]):]
old = old[:old.index(b'endobj')]
body = old[old.index(b'<<'):].rstrip()
body = body.replace(b'/Rotate 0', b'/Rotate 90')
out = data if data.endswith(b'\n') else data + b'\n'
at = len(out)
out += b'%d 0 obj\n' % page + body + b'\nendobj\n'
lines[page] = b'%010d 00000 n \n' % at
xref = len(out)
out += b'xref\n0 %d\n' % size + b''.join(lines)
trailer = re.search(rb'trailer\s*<<(.*?)>>\s*startxref', data[prev:], re.S).group(1)
trailer = re.sub(rb'/Prev \d+', b'', trailer)
out += b'trailer\n<<' + trailer.rstrip() + b'/Prev %d>>\nstartxref\n%d\n%%%%EOF\n' % (prev, xref)
open(dst, 'wb').write(out)
EOF

rm -rf "$out"
mkdir -p "$out"
cp gs-*.pdf qpdf-*.pdf mutool-*.pdf incremental-update.pdf "$out"/
ls -l "$out"
