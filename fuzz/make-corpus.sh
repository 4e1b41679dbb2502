#!/usr/bin/env bash
# Writes the fuzzers' seed corpus into a folder: the builder's files, zlib streams and
# dictionary texts from fuzz_make_corpus, then files written by qpdf, mutool and Ghostscript
# when they are installed, and the valid files of the tests (each of these also cut in half,
# as a damaged copy).
# Usage: fuzz/make-corpus.sh <fuzz_make_corpus executable> <corpus folder>
set -euo pipefail
generator=$1
corpus=$2

rm -rf "$corpus"
"$generator" "$corpus"
pdf=$corpus/pdf
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if command -v qpdf >/dev/null; then
  # qpdf exits with 3 after warnings about the damaged seeds: what it wrote is still useful.
  qpdf --object-streams=generate "$pdf/two-pages-with-info" "$work/qpdf-object-streams.pdf" || true
  qpdf --qdf "$pdf/one-page" "$work/qpdf-qdf.pdf" || true
  qpdf --linearize "$pdf/two-pages-with-info" "$work/qpdf-linearized.pdf" || true
  qpdf --object-streams=generate "$pdf/misspelt-names" "$work/qpdf-rewritten-damage.pdf" || true
fi
if command -v mutool >/dev/null; then
  printf '%%%%MediaBox 0 0 200 200\nBT /Helv 12 Tf 20 100 Td (mutool) Tj ET\n' > "$work/page.txt"
  mutool create -o "$work/mutool-create.pdf" "$work/page.txt" || true
  mutool clean -gg -z "$pdf/two-pages-with-info" "$work/mutool-clean.pdf" || true
fi
if command -v gs >/dev/null; then
  gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pdfwrite -sOutputFile="$work/gs-text.pdf" \
     -c '/Helvetica findfont 12 scalefont setfont 72 720 moveto (Ghostscript) show showpage' || true
fi

# The valid files of the tests, made by the same producers at other settings.
cp "$(dirname "$0")"/../tests/data/valid/*.pdf "$work/"

for file in "$work"/*.pdf; do
  [ -s "$file" ] || continue
  name=$(basename "$file" .pdf)
  cp "$file" "$pdf/$name"
  head -c "$(($(stat -c %s "$file") / 2))" "$file" > "$pdf/$name-cut"
done
