#!/usr/bin/env bash
# Writes the damaged sample PDFs in this folder: each is the same small one-page document with
# one kind of damage that the library finds and repairs. Run it again to recreate them.
set -euo pipefail
export LC_ALL=C  # ${#text} then counts bytes
cd "$(dirname "$0")"

content='BT /F1 24 Tf 72 700 Td (Hello from tovalund-pdfrepair) Tj ET'

body=''
offsets=()
object() {  # object NUM VALUE: appended, its offset remembered for the xref table
  offsets[$1]=${#body}
  body+="$1 0 obj"$'\n'"$2"$'\n'"endobj"$'\n'
}

# The document's objects; $1 is the content stream's /Length as written, $2 the page tree's
# /Kids and /Count.
document() {
  body=$'%PDF-1.4\n'
  offsets=()
  object 1 '<</Type/Catalog/Pages 2 0 R>>'
  object 2 "<</Type/Pages$2>>"
  object 3 '<</Type/Page/Parent 2 0 R/MediaBox[0 0 612 792]/Resources<</Font<</F1 5 0 R>>>>/Contents 4 0 R>>'
  object 4 "<</Length $1>>"$'\nstream\n'"$content"$'\nendstream'
  object 5 '<</Type/Font/Subtype/Type1/BaseFont/Helvetica>>'
}

# Appends the xref table (every offset moved by $1 bytes), the trailer and startxref.
finish() {
  local start=${#body} table num
  table=$'xref\n0 6\n0000000000 65535 f \n'
  for num in 1 2 3 4 5; do
    table+=$(printf '%010d 00000 n ' $((offsets[num] + $1)))$'\n'
  done
  body+="$table"$'trailer\n<</Size 6/Root 1 0 R>>\nstartxref\n'"$start"$'\n%%EOF\n'
}

write() { printf '%s' "$body" >"$1"; }

# A /Length that overshoots the stream data.
document 999 '/Kids[3 0 R]/Count 1'
finish 0
write wrong-length.pdf

# Every xref entry off by 7 bytes, as after an edit that did not update the table.
document ${#content} '/Kids[3 0 R]/Count 1'
finish 7
write shifted-xref.pdf

# A page tree that lists a page which no longer exists.
document ${#content} '/Kids[3 0 R 6 0 R]/Count 2'
finish 0
write missing-page.pdf

# A download cut off after the objects: no xref table, no trailer, no startxref.
document ${#content} '/Kids[3 0 R]/Count 1'
write truncated.pdf
