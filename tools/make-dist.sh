#!/usr/bin/env bash
# Builds the release archive dist/torvo-<version>.zip (make dist) from the
# built programs and release/:
#   torvo-<version>/torvo.jem          the module
#   torvo-<version>/torvo-rules.exe    the rule-list tool
#   torvo-<version>/sample-rules.tdb   a sample rule file (the demo's rules)
#   torvo-<version>/sample-rules.txt   the same rules as the tool exports them
#   torvo-<version>/guide-ru.txt       the operator's guide, in Russian
#   torvo-<version>/guide-en.txt       and in English
# Texts go out as Windows expects them: UTF-8 with a byte order mark (the
# guides) and CRLF line ends. Usage: make-dist.sh BUILD NATIVE_BUILD
set -euo pipefail
build=$1
native_build=$2
project=$(cd "$(dirname "$0")/.." && pwd)
cd "$project"

version=$(sed -n 's/^#define TORVO_VERSION_TEXT "\(.*\)"$/\1/p' resources/version.h)
[ -n "$version" ] || { echo "make-dist: no version in resources/version.h" >&2; exit 1; }
name=torvo-$version
stage=$build/dist-stage
rm -rf "$stage"
mkdir -p "$stage/$name" dist

# The same inputs give the same archive: fixed times, no extra attributes.
epoch=$(git log -1 --format=%ct 2>/dev/null || echo 1767225600)
stamp=$(date -u -d "@$epoch" +%Y%m%d%H%M.%S)

# The programs without their debugging information, which operators do not
# need (strip writes the given time into their headers).
for program in torvo.jem torvo-rules.exe; do
  SOURCE_DATE_EPOCH=$epoch i686-w64-mingw32-strip -o "$stage/$name/$program" "$build/bin/$program"
done
# The sample rule file is made from its text by the tool itself.
"$native_build/tool/torvo-rules" import release/sample-rules.txt -o "$stage/$name/sample-rules.tdb" >/dev/null
as_windows_text() { sed 's/$/\r/' "$1"; }
as_windows_text release/sample-rules.txt >"$stage/$name/sample-rules.txt"
for language in ru en; do
  { printf '\xEF\xBB\xBF'; as_windows_text "release/guide-$language.txt" | sed "s/@VERSION@/$version/g"; } \
    >"$stage/$name/guide-$language.txt"
done

TZ=UTC find "$stage/$name" -exec touch -t "$stamp" {} +
archive=$project/dist/$name.zip
rm -f "$archive"
(cd "$stage" && TZ=UTC zip -q -X -r "$archive" "$name")
echo "dist/$name.zip"
