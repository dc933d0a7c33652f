#!/usr/bin/env bash
# What ships beside the program matches it: the newest release in the
# AppStream data and in the package's changelog is this version, and every
# screenshot the AppStream data names lies in data/screenshots at its size.
set -euo pipefail
source=$1
version=$2
metainfo=$source/data/com.lumovane.kinolark.metainfo.xml
fail() { echo "$*" >&2; exit 1; }

newest=$(grep -o -m1 '<release version="[^"]*"' "$metainfo" | cut -d'"' -f2)
[ "$newest" = "$version" ] || fail "AppStream's newest release is '$newest', the program is $version"
logged=$(sed -n '1s/^kinolark (\([^)]*\)).*/\1/p' "$source/packaging/changelog")
[ "$logged" = "$version" ] || fail "the changelog's newest entry is '$logged', the program is $version"

shots=$(sed -n 's|.*<image [^>]*width="\([0-9]*\)" height="\([0-9]*\)">[^<]*/\([^</]*\)</image>.*|\1x\2 \3|p' "$metainfo")
[ -n "$shots" ] || fail "the AppStream data names no screenshot"
while read -r size name; do
    file=$source/data/screenshots/$name
    [ -f "$file" ] || fail "missing screenshot: data/screenshots/$name"
    actual=$(identify -format '%wx%h' "$file")
    [ "$actual" = "$size" ] || fail "data/screenshots/$name is $actual, the AppStream data says $size"
done <<<"$shots"
echo "release data ok"
