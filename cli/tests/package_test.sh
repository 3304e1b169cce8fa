#!/bin/sh
# Packs the build tree with cpack, unpacks the package into a temporary
# root with dpkg -x and runs quorbsl --version from there.
set -eu
build="$1"
expected="$2"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cd "$build"
if ! cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"
  exit 1
fi
deb=$(ls "$work"/out/*.deb)
dpkg-deb -f "$deb" Package | grep -qx quorbsl
dpkg -x "$deb" "$work/root"

rule="$work/root/usr/lib/udev/rules.d/70-quorbsl-karvell-qla.rules"
grep -q 'ATTRS{idProduct}=="8414"' "$rule"
grep -q 'TAG+="uaccess"' "$rule"
test -s "$work/root/usr/share/doc/quorbsl/README.md"

version=$("$work/root/usr/bin/quorbsl" --version)
if [ "$version" != "$expected" ]; then
  echo "quorbsl --version from the package said: $version" >&2
  exit 1
fi
echo "package $(basename "$deb") holds quorbsl: $version"
