#!/bin/sh
# Installs the build into a scratch DESTDIR, as `make install DESTDIR=...` does, and
# runs the installed program from there: it must need nothing from the build or the
# source tree, and keep working when the whole installation is moved.
#   installed.sh BUILD DESTDIR VERSION
set -u
build=$1 dest=$2 version=$3
fail() { echo "FAIL: $*" >&2; exit 1; }

rm -rf "$dest"
DESTDIR=$dest cmake --install "$build" --prefix /usr/local >/dev/null || fail "cmake --install"
prefix=$(cd "$dest/usr/local" && pwd -P)

for f in bin/quillmere share/quillmere/quillmere.html share/applications/quillmere.desktop \
         share/man/man1/quillmere.1.gz share/icons/hicolor/scalable/apps/quillmere.svg; do
    [ -f "$prefix/$f" ] || fail "$f was not installed"
done
for size in 16 22 24 32 48 64 128 256; do
    [ -f "$prefix/share/icons/hicolor/${size}x$size/apps/quillmere.png" ] || fail "no ${size}px icon"
done
ls "$prefix"/share/metainfo/*.metainfo.xml >/dev/null 2>&1 || fail "no AppStream metainfo"
# The release histories are written by hand: each must have this version on top.
grep -m1 '<release ' "$prefix"/share/metainfo/*.metainfo.xml | grep -q "version=\"$version\"" ||
    fail "the metainfo's newest release is not $version"
gzip -dc "$prefix/share/doc/quillmere/changelog.gz" | head -1 | grep -q "^quillmere ($version)" ||
    fail "the changelog's newest entry is not $version"

# A copy elsewhere stands for a moved installation; the build's own copy of the help
# book is beside build/quillmere, which neither may find.
cp -a "$prefix" "$dest/moved"
for root in "$prefix" "$dest/moved"; do
    exe=$root/bin/quillmere
    [ "$("$exe" --version)" = "Quillmere $version" ] || fail "$exe --version: $("$exe" --version)"
    found=$("$exe" --help-path) || fail "$exe --help-path found no help book"
    [ "$found" = "$root/share/quillmere/quillmere.html" ] || fail "help book found at $found, not in $root"
done
exe=$prefix/bin/quillmere

out=$("$exe" --report "$build/sample") || fail "--report of the sample: status $?"
printf "%s\n" "$out" | grep -q '^Shell\.lnk  *\.lnk  *sh ' || fail "--report of the sample lacks Shell.lnk: $out"
"$exe" --report --test "$build/sample" >/dev/null
[ $? -eq 1 ] || fail "--report --test of the sample (with its broken link) must end with status 1"

# --help and the manual page name the same options and environment variables.
help=$("$exe" --help)
manual=$(gzip -dc "$prefix/share/man/man1/quillmere.1.gz" | sed 's/\\-/-/g')
options() { grep -oE -- '(^|[][ |,])--?[a-z][a-z-]*' | sed 's/^[][ |,]//' | sort -u; }
variables() { sed 's/^\.[A-Z]* *//' | grep -oE '\b[A-Z][A-Z_]*[A-Z]\b' | sort -u; }
[ "$(printf "%s\n" "$help" | options)" = "$(printf "%s\n" "$manual" | options)" ] ||
    fail "options differ between --help and the manual page:
$(printf "%s\n" "$help" | options | tr '\n' ' ')
$(printf "%s\n" "$manual" | options | tr '\n' ' ')"
help_vars=$(printf "%s\n" "$help" | sed -n '/^Environment:/,/^$/p' | variables)
manual_vars=$(printf "%s\n" "$manual" | sed -n '/^\.SH ENVIRONMENT/,/^\.SH [^E]/p' | sed '1d;$d' | variables)
[ "$help_vars" = "$manual_vars" ] ||
    fail "environment variables differ between --help and the manual page:
$(printf "%s\n" "$help_vars" | tr '\n' ' ')
$(printf "%s\n" "$manual_vars" | tr '\n' ' ')"
echo "installed under $prefix: version, report, help book and manual page agree"
