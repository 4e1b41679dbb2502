#!/bin/sh
# Usage: man_page_test.sh CMAKE BUILD_DIR WORK_DIR TOOL
# Installs BUILD_DIR into a scratch prefix, renders the installed manual page with every
# warning on and fails on any, and checks that it describes every long option the tool's help lists.
set -eu
cmake=$1 build=$2 work=$3 tool=$4
rm -rf "$work"
"$cmake" --install "$build" --prefix "$work" >/dev/null
page=$work/share/man/man1/pdfrepair.1
test -f "$page" || { echo "no manual page installed at $page"; exit 1; }
warnings=$(groff -man -ww -Tutf8 -z "$page" 2>&1)
[ -z "$warnings" ] || { echo "$warnings"; exit 1; }
# Plain text, neither hyphenated nor broken across lines.
text=$(groff -man -Tascii -P-cbou -rHY=0 -rLL=500n "$page")
for option in $("$tool" --help | grep -oE -- '(^|[ [])--[a-z][a-z-]*' | tr -d ' [' | sort -u); do
  printf '%s\n' "$text" | grep -q -e "$option" || { echo "the manual page lacks $option"; exit 1; }
done
printf '%s\n' "$text" | grep -q "pdfrepair $("$tool" --version | cut -d ' ' -f 2)" ||
  { echo "the manual page names another version"; exit 1; }
rm -rf "$work"
echo "the manual page renders without warnings and lists every option"
