#!/bin/sh
# Writes the PDFs of tests/data/producers/, one or two small pages each from the producers a
# user's files come from: LibreOffice (text document, spreadsheet, presentation), pdfTeX,
# LuaTeX, XeTeX (xdvipdfmx), cairo (pdftocairo, rsvg-convert), Ghostscript, qpdf, mutool,
# groff, ReportLab, img2pdf and pdfunite. Files are named <producer>-<what>.pdf. The tests read
# the committed files; CI installs none of these producers, so run this only to remake them
# (on Debian: libreoffice-writer, -calc, -impress, texlive-latex-extra, texlive-luatex,
# texlive-xetex, lmodern, fonts-dejavu, poppler-utils, librsvg2-bin, ghostscript, qpdf,
# mupdf-tools, groff, python3-reportlab, python3-pil, img2pdf).
#
# Dates come from SOURCE_DATE_EPOCH wherever the producer reads it (TeX, Ghostscript,
# ReportLab's invariant mode) or are left out (img2pdf); LibreOffice, groff and pdftocairo
# stamp the time of the run, so only their files change when this runs again. A file that
# qpdf --check does not pass without warnings, or that pdfinfo cannot open cleanly, is
# dropped with a message.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
out="$here/producers"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
export SOURCE_DATE_EPOCH=0 FORCE_SOURCE_DATE=1 TZ=UTC
python=/usr/bin/python3  # Debian's, which has ReportLab and Pillow

# LibreOffice, headless, with a profile of its own: an A4 text document whose metadata is not
# ASCII and whose headings become bookmarks, a spreadsheet and a presentation.
cat > writer.fodt <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0"
 xmlns:meta="urn:oasis:names:tc:opendocument:xmlns:meta:1.0"
 xmlns:dc="http://purl.org/dc/elements/1.1/"
 office:version="1.3" office:mimetype="application/vnd.oasis.opendocument.text">
 <office:meta>
  <dc:title>Größe – Überblick ®</dc:title>
  <dc:subject>Maße (und Gewichte)</dc:subject>
  <dc:creator>Jürgen Ñandú</dc:creator>
  <meta:initial-creator>Jürgen Ñandú</meta:initial-creator>
  <meta:keyword>Öl, Ärger</meta:keyword>
 </office:meta>
 <office:automatic-styles>
  <style:page-layout style:name="pm1">
   <style:page-layout-properties fo:page-width="21cm" fo:page-height="29.7cm" fo:margin="2cm"/>
  </style:page-layout>
  <style:style style:name="P1" style:family="paragraph"><style:paragraph-properties fo:break-before="page"/></style:style>
 </office:automatic-styles>
 <office:master-styles>
  <style:master-page style:name="Standard" style:page-layout-name="pm1"/>
 </office:master-styles>
 <office:body>
  <office:text>
   <text:h text:outline-level="1">Größe</text:h>
   <text:p>Ein Absatz über Maße und Gewichte – mit Gedankenstrich.</text:p>
   <text:h text:outline-level="2">Überblick</text:h>
   <text:p>Zweiter Abschnitt, „zitiert“ und mit ® und €.</text:p>
   <text:h text:style-name="P1" text:outline-level="1">Anhang</text:h>
   <text:p>Letzte Seite.</text:p>
  </office:text>
 </office:body>
</office:document>
EOF
cat > calc.fods <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:of="urn:oasis:names:tc:opendocument:xmlns:of:1.2"
 xmlns:dc="http://purl.org/dc/elements/1.1/"
 office:version="1.3" office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
 <office:meta><dc:title>Quarterly figures</dc:title></office:meta>
 <office:body>
  <office:spreadsheet>
   <table:table table:name="Figures">
    <table:table-row>
     <table:table-cell office:value-type="string"><text:p>Quarter</text:p></table:table-cell>
     <table:table-cell office:value-type="string"><text:p>Units</text:p></table:table-cell>
    </table:table-row>
    <table:table-row>
     <table:table-cell office:value-type="string"><text:p>Q1</text:p></table:table-cell>
     <table:table-cell office:value-type="float" office:value="1250"><text:p>1250</text:p></table:table-cell>
    </table:table-row>
    <table:table-row>
     <table:table-cell office:value-type="string"><text:p>Q2</text:p></table:table-cell>
     <table:table-cell office:value-type="float" office:value="980.5"><text:p>980.5</text:p></table:table-cell>
    </table:table-row>
    <table:table-row>
     <table:table-cell office:value-type="string"><text:p>Total</text:p></table:table-cell>
     <table:table-cell table:formula="of:=SUM([.B2:.B3])" office:value-type="float" office:value="2230.5"><text:p>2230.5</text:p></table:table-cell>
    </table:table-row>
   </table:table>
  </office:spreadsheet>
 </office:body>
</office:document>
EOF
cat > impress.fodp <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:dc="http://purl.org/dc/elements/1.1/"
 office:version="1.3" office:mimetype="application/vnd.oasis.opendocument.presentation">
 <office:meta><dc:title>Status</dc:title></office:meta>
 <office:automatic-styles>
  <style:style style:name="red" style:family="graphic"><style:graphic-properties draw:fill="solid" draw:fill-color="#c03020"/></style:style>
 </office:automatic-styles>
 <office:body>
  <office:presentation>
   <draw:page draw:name="Intro">
    <draw:frame svg:x="2cm" svg:y="2cm" svg:width="20cm" svg:height="3cm"><draw:text-box><text:p>Status of the project</text:p></draw:text-box></draw:frame>
    <draw:rect draw:style-name="red" svg:x="4cm" svg:y="7cm" svg:width="8cm" svg:height="5cm"/>
   </draw:page>
   <draw:page draw:name="Next">
    <draw:frame svg:x="2cm" svg:y="2cm" svg:width="20cm" svg:height="3cm"><draw:text-box><text:p>Next steps</text:p></draw:text-box></draw:frame>
    <draw:ellipse draw:style-name="red" svg:x="10cm" svg:y="7cm" svg:width="6cm" svg:height="6cm"/>
   </draw:page>
  </office:presentation>
 </office:body>
</office:document>
EOF
soffice -env:UserInstallation="file://$work/lo" --headless \
  --convert-to 'pdf:writer_pdf_Export:{"ExportBookmarks":{"type":"boolean","value":"true"}}' writer.fodt >/dev/null 2>&1
soffice -env:UserInstallation="file://$work/lo" --headless --convert-to pdf calc.fods impress.fodp >/dev/null 2>&1
mv writer.pdf libreoffice-writer-headings.pdf
mv calc.pdf libreoffice-calc-sheet.pdf
mv impress.pdf libreoffice-impress-slides.pdf

# pdfTeX with hyperref: bookmarks, links and document information in UTF-16BE; once as it
# writes by default (object streams, PDF 1.5) and once with a classic table (PDF 1.4).
cat > hyperref.tex <<'EOF'
\documentclass[a4paper]{article}
\usepackage[T1]{fontenc}
\usepackage{lmodern}
\usepackage[pdfencoding=unicode,bookmarks=true,colorlinks=false,
  pdftitle={Größe – Überblick ®},pdfauthor={Jürgen Ñandú},
  pdfsubject={Maße (und Gewichte)},pdfkeywords={Öl, Ärger}]{hyperref}
\begin{document}
\section{Größe}
Ein Absatz über Maße, mit einem Verweis auf Abschnitt~\ref{sec:anhang}.
\subsection{Überblick}
Zweiter Abschnitt mit einer Formel: $E = mc^2$.
\newpage
\section{Anhang}\label{sec:anhang}
Letzte Seite, \href{https://example.org/}{ein Link}.
\end{document}
EOF
{ echo '\pdfobjcompresslevel=0 \pdfminorversion=4'; cat hyperref.tex; } > classic.tex
for tex in hyperref classic; do
  pdflatex -interaction=batchmode $tex.tex >/dev/null
  pdflatex -interaction=batchmode $tex.tex >/dev/null
done
mv hyperref.pdf pdftex-hyperref.pdf
mv classic.pdf pdftex-classic-xref.pdf

# LuaTeX with an OpenType font and a TikZ drawing; XeTeX through xdvipdfmx on A5, which writes
# the page size on the page tree's root only.
cat > luatex.tex <<'EOF'
\documentclass{article}
% A fixed document ID: LuaTeX's own changes with the scratch folder this runs in.
\pdfvariable trailerid {[<4C7561546558206669786564204944> <4C7561546558206669786564204944>]}
\usepackage{fontspec}
\usepackage{tikz}
\usepackage[pdfencoding=unicode,pdftitle={Straße – Ωmega}]{hyperref}
\begin{document}
\section{Grüße}
Schöne Grüße aus Köln: äöü ÄÖÜ ß — and a drawing.

\begin{tikzpicture}
  \draw[thick,blue] (0,0) circle (1);
  \fill[red!60] (2,-1) rectangle (4,1);
\end{tikzpicture}
\end{document}
EOF
cat > xetex.tex <<'EOF'
\documentclass{article}
\usepackage[a5paper]{geometry}
\usepackage{fontspec}
\setmainfont{DejaVu Serif}
\begin{document}
\section*{Grüße aus Zürich}
Ein Brief mit Umlauten: äöü ÄÖÜ ß, und ein Euro-Zeichen €.
\newpage
Zweite Seite.
\end{document}
EOF
lualatex -interaction=batchmode luatex.tex >/dev/null
lualatex -interaction=batchmode luatex.tex >/dev/null
xelatex -interaction=batchmode xetex.tex >/dev/null
mv luatex.pdf luatex-opentype-tikz.pdf
mv xetex.pdf xetex-a5-inherited-box.pdf

# Ghostscript: PostScript with text, shapes and a small image, and a redistilled PDF.
cat > page.ps <<'EOF'
%!PS
<< /PageSize [612 792] >> setpagedevice
/Helvetica findfont 20 scalefont setfont
72 720 moveto (Distilled by Ghostscript) show
0.2 0.4 0.8 setrgbcolor 72 500 200 120 rectfill
0 setgray 300 560 60 0 360 arc stroke
gsave 72 300 translate 128 128 scale
8 8 8 [8 0 0 -8 0 8]
{ <00204060 80a0c0e0 e0c0a080 60402000 00204060 80a0c0e0 e0c0a080 60402000
   00204060 80a0c0e0 e0c0a080 60402000 00204060 80a0c0e0 e0c0a080 60402000> } image
grestore
showpage
/Times-Roman findfont 14 scalefont setfont
72 720 moveto (Second page) show
showpage
EOF
ps2pdf page.ps gs-postscript.pdf
gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pdfwrite -sOutputFile=gs-pdfwrite-of-pdftex.pdf pdftex-hyperref.pdf

# cairo: a PDF rewritten by pdftocairo, and a small SVG converted by rsvg-convert.
pdftocairo -pdf pdftex-hyperref.pdf cairo-pdftocairo-pdftex.pdf
cat > drawing.svg <<'EOF'
<svg xmlns="http://www.w3.org/2000/svg" width="300" height="200" viewBox="0 0 300 200">
  <rect x="10" y="10" width="280" height="180" fill="#f0e0c0" stroke="#804000" stroke-width="4"/>
  <circle cx="80" cy="100" r="50" fill="#2060c0" fill-opacity="0.7"/>
  <text x="150" y="110" font-family="DejaVu Sans" font-size="24">Hello SVG</text>
</svg>
EOF
rsvg-convert -f pdf -o cairo-rsvg-drawing.pdf drawing.svg

# groff: gropdf directly, with bookmarks and document information, and through PostScript.
cat > groff.ms <<'EOF'
.pdfinfo /Title "Groff notes"
.pdfinfo /Author "Typesetter"
.NH
Introduction
.pdfbookmark 1 "Introduction"
.PP
This page was set by groff with the ms macros, in Times.
.NH
Details
.pdfbookmark 1 "Details"
.PP
A second section with \fIitalic\fP and \fBbold\fP words.
.bp
.PP
And a second page.
EOF
groff -Tpdf -ms -mpdf groff.ms > groff-gropdf-ms.pdf
groff -Tps -ms groff.ms > groff.ps
ps2pdf groff.ps groff-ps2pdf-ms.pdf

# ReportLab: an A4 page (sizes in decimals) with an outline, a link and a note, and metadata
# that is not ASCII; a page of form fields.
"$python" - <<'EOF'
from reportlab.lib.pagesizes import A4
from reportlab.pdfgen import canvas

c = canvas.Canvas('reportlab-outline-links.pdf', pagesize=A4, invariant=1)
c.setTitle('Größe – Überblick ®')
c.setAuthor('Jürgen Ñandú')
c.setSubject('Maße (und Gewichte)')
c.setKeywords('Öl, Ärger')
c.setCreator('make-producer-pdfs')
c.setFont('Helvetica-Bold', 18)
c.drawString(72, 760, 'Chapter one')
c.bookmarkPage('one')
c.addOutlineEntry('Chapter one', 'one', level=0)
c.setFont('Helvetica', 12)
c.drawString(72, 730, 'A link to the second chapter, and a note.')
c.linkAbsolute('second chapter', 'two', Rect=(72, 725, 330, 742))
c.linkURL('https://example.org/', (72, 700, 200, 715))
c.drawString(72, 703, 'https://example.org/')
c.textAnnotation('A note on the first page', Rect=(400, 700, 420, 720))
c.showPage()
c.setFont('Helvetica-Bold', 18)
c.drawString(72, 760, 'Chapter two')
c.bookmarkPage('two')
c.addOutlineEntry('Chapter two', 'two', level=0)
c.setFont('Helvetica', 12)
c.drawString(72, 730, 'Grüße – the second page.')
c.bookmarkHorizontal('two-one', 0, 730)
c.addOutlineEntry('Section 2.1', 'two-one', level=1)
c.showPage()
c.save()

c = canvas.Canvas('reportlab-acroform.pdf', pagesize=(500.5, 300.25), invariant=1)
c.setTitle('Registration')
c.setFont('Helvetica', 12)
c.drawString(30, 250, 'Name:')
c.acroForm.textfield(name='name', value='Ada', x=100, y=240, width=200, height=20)
c.drawString(30, 200, 'Agree:')
c.acroForm.checkbox(name='agree', x=100, y=195, size=16, checked=True)
c.drawString(30, 150, 'Colour:')
c.acroForm.choice(name='colour', value='blue', options=['red', 'blue', 'green'],
                  x=100, y=140, width=120, height=20)
c.showPage()
c.save()
EOF

# img2pdf: a small grey PNG and a small colour JPEG, embedded as they are.
"$python" - <<'EOF'
from PIL import Image
grey = Image.new('L', (64, 48))
grey.putdata([(x * 4 + y * 2) % 256 for y in range(48) for x in range(64)])
grey.save('grey.png')
colour = Image.new('RGB', (48, 32))
colour.putdata([(x * 5, y * 8, 128) for y in range(32) for x in range(48)])
colour.save('colour.jpg', quality=85)
EOF
img2pdf --nodate --engine internal --pagesize A5 -o img2pdf-png.pdf grey.png
img2pdf --nodate --engine internal --pagesize A6 -o img2pdf-jpeg.pdf colour.jpg

# qpdf: object streams behind a cross-reference stream, and linearized with them.
qpdf --deterministic-id --object-streams=generate reportlab-outline-links.pdf qpdf-objstm-reportlab.pdf
qpdf --deterministic-id --linearize --object-streams=generate pdftex-classic-xref.pdf qpdf-linearized-objstm-pdftex.pdf

# mutool: a page from its content-stream notation, and a file cleaned and compressed.
cat > mutool.txt <<'EOF'
%%MediaBox 0 0 420 297
%%Font Helv Helvetica
%%Font TiRo Times-Roman
BT /Helv 18 Tf 30 250 Td (Made by mutool create) Tj ET
BT /TiRo 12 Tf 30 220 Td (A second line in Times.) Tj ET
1 0 0 rg 30 30 360 150 re f
EOF
mutool create -o mutool-create.pdf mutool.txt mutool.txt
mutool clean -gg -z -i -f pdftex-classic-xref.pdf mutool-clean-compressed.pdf

# Two files of different producers joined by mutool merge and by pdfunite (whose /Size is
# too small in poppler 22.12, so that its file is dropped below).
mutool merge -o mutool-merge-two-files.pdf mutool-create.pdf gs-postscript.pdf
pdfunite mutool-create.pdf gs-postscript.pdf pdfunite-two-files.pdf

mkdir -p "$out"
rm -f "$out"/*.pdf
for file in *-*.pdf; do
  check=$(qpdf --check "$file" 2>&1) && status=0 || status=$?
  info=$(pdfinfo "$file" 2>&1 >/dev/null) && opened=0 || opened=$?
  if [ "$status" -ne 0 ] || printf '%s' "$check" | grep -qi warning || [ "$opened" -ne 0 ] || [ -n "$info" ]; then
    echo "dropped $file: qpdf --check status $status, pdfinfo status $opened"
    printf '%s\n%s\n' "$check" "$info" | grep -iv '^checking\|^PDF Version\|not encrypted\|not linearized' || true
  else
    cp "$file" "$out"/
  fi
done
ls -l "$out"
