#!/bin/sh
# Validates the installed desktop entry or AppStream metainfo with the desktop's
# own validators; exit status 77 (skipped) where the validator is not installed.
#   validate.sh desktop|metainfo PREFIX
set -u
kind=$1 prefix=$2
need() { # tool package
    command -v "$1" >/dev/null 2>&1 && return
    echo "skipped: $1 is not installed (Debian package $2; make test installs it)"
    exit 77
}
case $kind in
desktop)
    need desktop-file-validate desktop-file-utils
    # Hints count too: the entry must be clean.
    out=$(desktop-file-validate "$prefix/share/applications/quillmere.desktop" 2>&1)
    status=$?
    [ $status -eq 0 ] && [ -z "$out" ] || { echo "FAIL: $out"; exit 1; }
    echo "quillmere.desktop is valid" ;;
metainfo)
    need appstreamcli appstream
    appstreamcli validate --no-net "$prefix"/share/metainfo/*.metainfo.xml ;;
*)
    echo "usage: validate.sh desktop|metainfo PREFIX"; exit 2 ;;
esac
