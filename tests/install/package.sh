#!/bin/sh
# Builds the Debian package from the build, as `make package` does, in a folder of
# its own, and checks what it holds (`make package` also runs lintian on it).
#   package.sh BUILD OUTDIR VERSION
set -u
build=$1 out=$2 version=$3
fail() { echo "FAIL: $*" >&2; exit 1; }
for tool in dpkg-deb dpkg-shlibdeps; do
    command -v $tool >/dev/null 2>&1 ||
        { echo "skipped: $tool is not installed (Debian packages dpkg and dpkg-dev; make test installs them)"; exit 77; }
done

rm -rf "$out"
log=$(cpack --config "$build/CPackConfig.cmake" -B "$out" 2>&1) || fail "cpack: $log"
deb=$(ls "$out"/quillmere_*.deb 2>/dev/null) || fail "no quillmere_*.deb in $out"

[ "$(dpkg-deb -f "$deb" Package)" = quillmere ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "version $(dpkg-deb -f "$deb" Version)"
dpkg-deb -f "$deb" Depends | grep -q 'libqt6widgets6 (>=' || fail "no dependencies from dpkg-shlibdeps"

files=$(dpkg-deb -c "$deb" | awk '{ print $NF }')
for f in ./usr/bin/quillmere ./usr/share/quillmere/quillmere.html \
         ./usr/share/applications/quillmere.desktop ./usr/share/man/man1/quillmere.1.gz \
         ./usr/share/icons/hicolor/scalable/apps/quillmere.svg \
         ./usr/share/icons/hicolor/16x16/apps/quillmere.png \
         ./usr/share/icons/hicolor/256x256/apps/quillmere.png \
         ./usr/share/doc/quillmere/copyright; do
    printf "%s\n" "$files" | grep -qx "$f" || fail "$f is not in the package"
done
printf "%s\n" "$files" | grep -q '^\./usr/share/metainfo/.*\.metainfo\.xml$' || fail "no metainfo in the package"

echo "$deb holds the program, desktop entry, icons, metainfo and manual page"
