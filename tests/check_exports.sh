#!/bin/sh
# Usage: check_exports.sh nm|objdump LIBRARY
# Fails unless LIBRARY exports exactly the six pdfrepair_ functions.
set -eu
tool=$1
lib=$2
case $tool in
  nm) exported=$(nm -D --defined-only "$lib" | awk '$2 ~ /^[A-Z]$/ { print $3 }') ;;
  objdump)
    # The names listed under "[Ordinal/Name Pointer] Table" of the export directory.
    exported=$(x86_64-w64-mingw32-objdump -p "$lib" |
      awk '/\[Ordinal\/Name Pointer\] Table/ { table = 1; next } table && NF == 0 { table = 0 } table { print $NF }') ;;
  *) echo "unknown tool $tool" >&2; exit 2 ;;
esac
expected='pdfrepair_check
pdfrepair_cleanup
pdfrepair_fix
pdfrepair_init
pdfrepair_last_error
pdfrepair_rebuild_xref'
actual=$(printf '%s\n' "$exported" | sort)
if [ "$actual" != "$expected" ]; then
  echo "$lib exports:"; printf '%s\n' "$actual"
  echo "expected exactly:"; printf '%s\n' "$expected"
  exit 1
fi
echo "$lib exports exactly the six pdfrepair_ functions"
