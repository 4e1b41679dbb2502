#!/bin/sh
# Usage: install_test.sh CMAKE BUILD_DIR SOURCE_DIR WORK_DIR [C_FLAGS [LINKER_FLAGS]]
# Installs BUILD_DIR into a scratch prefix, checks what was installed, then builds the C
# consumer example against the installed tree twice, once with find_package and once with
# pkg-config, and runs both on a damaged example.
set -eu
cmake=$1 build=$2 source=$3 work=$4 cflags=${5:-} ldflags=${6:-}
rm -rf "$work"
mkdir -p "$work"
prefix=$work/prefix
"$cmake" --install "$build" --prefix "$prefix" >/dev/null

libdir=$(dirname "$(find "$prefix" -name 'libtovalund-pdfrepair.so' | head -n 1)")
test -f "$prefix/include/pdfrepair.h"
test -f "$libdir/cmake/tovalund-pdfrepair/tovalund-pdfrepair-config.cmake"
test -f "$libdir/pkgconfig/tovalund-pdfrepair.pc"
soname=$(objdump -p "$libdir/libtovalund-pdfrepair.so" | awk '$1 == "SONAME" { print $2 }')
test "$soname" = libtovalund-pdfrepair.so.0 || { echo "SONAME is '$soname'"; exit 1; }
test -L "$libdir/libtovalund-pdfrepair.so" && test -f "$libdir/$soname"
# The installed tool finds the installed library by itself.
"$prefix/bin/pdfrepair" --version

example=$source/examples/wrong-length.pdf

"$cmake" -S "$source/examples/consumer" -B "$work/with-cmake" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS="$cflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" >/dev/null
"$cmake" --build "$work/with-cmake" >/dev/null
"$work/with-cmake/consumer" "$example" "$work/with-cmake.pdf"

export PKG_CONFIG_PATH="$libdir/pkgconfig"
# shellcheck disable=SC2086  # the flags are lists of words
cc $cflags $(pkg-config --cflags tovalund-pdfrepair) "$source/examples/consumer/consumer.c" \
  -o "$work/consumer" $ldflags $(pkg-config --libs tovalund-pdfrepair) \
  -Wl,-rpath,"$(pkg-config --variable=libdir tovalund-pdfrepair)"
"$work/consumer" "$example" "$work/with-pkg-config.pdf"

cmp "$work/with-cmake.pdf" "$work/with-pkg-config.pdf"
rm -rf "$work"
echo "installed tree builds and runs the consumer with find_package and with pkg-config"
