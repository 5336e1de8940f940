#!/usr/bin/env bash
# Packs the built tree with CPack's DEB generator in a temporary folder and
# checks the package: its version, its Qt dependency, and that it holds the
# program, the launcher entry and the icon. Skips (77) without cpack or dpkg-deb.
#   deb_test.sh <cpack> <build folder> <version>
set -eu
cpack=$1 build=$2 version=$3
command -v "$cpack" >/dev/null && command -v dpkg-deb >/dev/null ||
  { echo "cpack or dpkg-deb is missing"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work" >/dev/null
deb=$(ls "$work"/tarnex_"$version"_*.deb)
list=$(dpkg-deb -c "$deb")
status=0
for f in ./usr/bin/tarnex ./usr/share/applications/tarnex.desktop \
         ./usr/share/icons/hicolor/scalable/apps/tarnex.svg; do
  grep -q " $f\$" <<<"$list" || { echo "not in the package: $f"; status=1; }
done
dpkg-deb -f "$deb" Depends | grep -q libqt6widgets6 || { echo "no Qt dependency"; status=1; }
exit $status
