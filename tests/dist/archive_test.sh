#!/usr/bin/env bash
# The release archive as an operator gets it: unpacked, its files checked,
# the tool inside run on the sample rules, and the module inside loaded by a
# Windows program that applies those rules to a room. Runs in the Wine
# session (ctest). Usage: archive_test.sh PROJECT BUILD
set -euo pipefail
project=$1
build=$2
fail() { echo "FAIL: $*" >&2; exit 1; }

version=$(sed -n 's/^#define TORVO_VERSION_TEXT "\(.*\)"$/\1/p' "$project/resources/version.h")
name=torvo-$version
archive=$project/dist/$name.zip
[ -f "$archive" ] || fail "no $archive (make dist builds it)"

unpacked=$(mktemp -d "$build/unpacked.XXXXXX")
trap 'rm -rf "$unpacked"' EXIT
unzip -q "$archive" -d "$unpacked"
dir=$unpacked/$name

expected="$name/guide-en.txt
$name/guide-ru.txt
$name/sample-rules.tdb
$name/sample-rules.txt
$name/torvo-rules.exe
$name/torvo.jem"
actual=$(cd "$unpacked" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
[ "$actual" = "$expected" ] || fail "archive holds:
$actual"

# The built programs, without their debugging information: both stripped
# once more with one time stamp, which strip writes into the header. The
# cross tools live where the programs were built; the emulated test guest,
# which only runs them, has none, and says so.
if command -v i686-w64-mingw32-strip >/dev/null; then
  for program in torvo.jem torvo-rules.exe; do
    SOURCE_DATE_EPOCH=0 i686-w64-mingw32-strip -o "$unpacked/built-$program" "$build/bin/$program"
    SOURCE_DATE_EPOCH=0 i686-w64-mingw32-strip -o "$unpacked/archived-$program" "$dir/$program"
    cmp -s "$unpacked/built-$program" "$unpacked/archived-$program" || fail "$program is not the built one"
  done
else
  echo "no i686-w64-mingw32-strip here: the archived programs are not compared with the built ones"
fi

# Guides: UTF-8 with a byte order mark, CRLF line ends, every verb explained
# with an example, the Russian one in Russian.
for language in ru en; do
  guide=$dir/guide-$language.txt
  [ "$(head -c3 "$guide" | od -An -tx1 | tr -d ' ')" = efbbbf ] || fail "$guide: no byte order mark"
  if grep -qv $'\r$' "$guide"; then fail "$guide: a line without CRLF"; fi
  for verb in show export import check merge optimize why prune; do
    grep -q "torvo-rules $verb " "$guide" || fail "$guide: no example of $verb"
  done
  grep -q '198.51.100.0/24' "$guide" || fail "$guide: no CIDR example"
done
grep -q 'Установка' "$dir/guide-ru.txt" || fail "guide-ru.txt is not in Russian"
for language in ru en; do
  head -1 "$dir/guide-$language.txt" | grep -q "^.*Torvo $version:" || fail "guide-$language.txt: not version $version"
done
grep -q '^1\. Installing' "$dir/guide-en.txt" || fail "guide-en.txt is not in English"

# The tool in the archive: the sample rule file is clean and is its text.
cd "$dir"
wine torvo-rules.exe check sample-rules.tdb >/dev/null || fail "check of the sample rules: status $?"
wine torvo-rules.exe export sample-rules.tdb >exported.txt
tr -d '\r' <sample-rules.txt | cmp -s - exported.txt || fail "sample-rules.txt is not the sample file's export"
# They are the demo's rules, as the stand-in host writes them.
wine "$build/bin/torvo_host.exe" --write-sample-rules demo-rules.tdb >/dev/null
cmp -s sample-rules.tdb demo-rules.tdb || fail "sample-rules.tdb differs from the demo's sample rules"

# The module in the archive loads and applies the sample rules.
wine "$build/bin/unpacked_module_test.exe" "$(winepath -w "$dir")" --gtest_brief=1
echo "archive $name.zip: contents, tool and module checked"
