#!/usr/bin/env bash
# Cross-builds the Windows programs (the `windows` preset: mingw-w64, runtime linked statically)
# and makes build/package/tarvex-windows-<version>.zip: tarvex-cli.exe, Corvane.dll, model.dll,
# the USB description table and a README for the bench. Prints the zip's path as its last line.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

if command -v ccache >/dev/null 2>&1; then
  export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root}
fi

echo "=== windows build ==="
cmake --preset windows >/dev/null
cmake --build --preset windows --target tarvex-cli Pellum

version=$(sed -n 's/^project(Tarvex VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
name=tarvex-windows-$version
out="$root/build/package"
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage/$name" "$out"
bin=build/windows/bin
cp "$bin/tarvex-cli.exe" "$bin/Corvane.dll" "$bin/model.dll" "$bin/usb-descriptions.txt" \
  "$stage/$name/"
# Windows' own editors want CR LF.
sed 's/$/\r/' packaging/windows/README.txt >"$stage/$name/README.txt"
rm -f "$out/$name.zip"
(cd "$stage" && cmake -E tar cf "$out/$name.zip" --format=zip "$name")
echo "$out/$name.zip"
