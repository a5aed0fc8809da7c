#!/usr/bin/env bash
# Builds the release tree and makes build/package/tarvex_<version>_<arch>.deb from what
# `cmake --install` lays out. Prints the package's path as its last line.
#
# Depends comes from the binaries (dpkg-shlibdeps), plus what they load only at run time: Qt's
# SVG image and icon plug-ins (libqt6svg6, which Qt loads by itself) and a font. The sound module is
# optional (the program runs silently without it), so what it links is only recommended.
#
# lintian (2.116, with --pedantic -I) gives no error and no warning; the notes it still gives:
#   package-contains-documentation-outside-usr-share-doc  usr/lib/tarvex/usb-descriptions.txt is
#       the table that port discovery reads beside the program, not documentation
#   spelling-error-in-binary "occured"  libCorvane.so sends the phone's status lines word for
#       word as the download windows have always shown them
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

if command -v ccache >/dev/null 2>&1; then
  export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}
  # Relative paths in the cache's keys, so that another clone of the tree hits the same entries.
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root}
fi

echo "=== release build ==="
cmake --preset release >/dev/null
cmake --build --preset release --target tarvex-installed

version=$(sed -n 's/^project(Tarvex VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
arch=$(dpkg --print-architecture)
out="$root/build/package"
deb="$out/tarvex_${version}_${arch}.deb"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# dpkg-shlibdeps takes libraries found below debian/<package> as the package's own.
stage="$work/debian/tarvex"

echo "=== staging ==="
umask 022
DESTDIR="$stage" cmake --install build/release --strip >/dev/null
doc="$stage/usr/share/doc/tarvex"
gzip -9n "$stage"/usr/share/man/man1/*.1
sed -e "s/@VERSION@/$version/" -e "s/@DATE@/$(date -R -d "@${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}")/" \
  packaging/debian/changelog.in | gzip -9n >"$doc/changelog.gz"
# Modules and the library are loaded, never run.
find "$stage" -name '*.so' -exec chmod 644 {} +

echo "=== dependencies ==="
elves=()
while IFS= read -r -d '' f; do
  [[ $(head -c 4 "$f" | od -An -c | tr -d ' ') == 177ELF ]] && elves+=("$f")
done < <(find "$stage" -type f ! -name 'tarvex-sound.so' -print0)
sound=$(find "$stage" -type f -name 'tarvex-sound.so')
# The compiler's version notes, which `cmake --install --strip` leaves, as Debian's builds drop.
strip --remove-section=.comment "${elves[@]}" ${sound:+"$sound"}
printf 'Source: tarvex\n\nPackage: tarvex\nArchitecture: any\n' >"$work/debian/control"
shlibs=$(cd "$work" && dpkg-shlibdeps -O -dDepends "${elves[@]/#/-e}" ${sound:+-dRecommends -e"$sound"} 2>&1 |
  grep -v '^dpkg-shlibdeps: warning')
depends=$(sed -n 's/^shlibs:Depends=//p' <<<"$shlibs")
recommends=$(sed -n 's/^shlibs:Recommends=//p' <<<"$shlibs")
depends="$depends, libqt6svg6, fonts-dejavu-core"
recommends=${recommends:-libqt6multimedia6}

mkdir -p "$stage/DEBIAN"
size=$(du -sk --exclude=DEBIAN "$stage" | cut -f1)
sed -e "s/@VERSION@/$version/" -e "s/@ARCH@/$arch/" -e "s/@SIZE@/$size/" \
  -e "s/@DEPENDS@/$depends/" -e "s/@RECOMMENDS@/$recommends/" \
  packaging/debian/control.in >"$stage/DEBIAN/control"
install -m 755 packaging/debian/postinst packaging/debian/postrm "$stage/DEBIAN/"
(cd "$stage" && find usr -type f -print0 | sort -z | xargs -0 md5sum) >"$stage/DEBIAN/md5sums"
chmod 644 "$stage/DEBIAN/md5sums"

mkdir -p "$out"
rm -f "$out"/tarvex_*.deb
dpkg-deb --root-owner-group -Zxz --build "$stage" "$deb" >/dev/null
echo "Depends: $depends"
echo "Recommends: $recommends"
echo "$deb"
