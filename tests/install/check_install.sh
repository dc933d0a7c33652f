#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what lands where.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

expected=(
    bin/kinolark
    share/kinolark/tv.htm
    share/applications/com.lumovane.kinolark.desktop
    share/metainfo/com.lumovane.kinolark.metainfo.xml
    share/icons/hicolor/16x16/apps/com.lumovane.kinolark.png
    share/icons/hicolor/48x48/apps/com.lumovane.kinolark.png
    share/icons/hicolor/128x128/apps/com.lumovane.kinolark.png
    share/icons/hicolor/scalable/apps/com.lumovane.kinolark.svg
    share/man/man1/kinolark.1.gz
    share/doc/kinolark/copyright
    share/doc/kinolark/changelog.gz
)
for file in "${expected[@]}"; do
    [ -f "$prefix/$file" ] || { echo "missing after install: $file" >&2; exit 1; }
done
# Nothing else: no tests, no sample site, no benchmarks in the install.
count=$(find "$prefix" -type f | wc -l)
[ "$count" -eq "${#expected[@]}" ] || { find "$prefix" -type f >&2; echo "unexpected files installed" >&2; exit 1; }
"$prefix/bin/kinolark" --version | grep -q '^kinolark '
# libmpv and its libraries are opened at the first play, never at start.
if objdump -p "$prefix/bin/kinolark" | grep -E 'NEEDED +lib(mpv|av[a-z]+)\.'; then
    echo "the program links libmpv at start" >&2
    exit 1
fi
echo "install layout ok"
