#!/bin/sh
# Installation round trip, run by CTest: installs the build into a temporary
# DESTDIR through CMake's install rules, runs each installed program once,
# checks that every installed manual page renders without a warning, then
# uninstalls through the manifest and expects no file left behind.
#   sh tests/install_test.sh BUILD_DIR SOURCE_DIR
# Exit status 0: passed; 1: failed; 77: groff or mandoc missing (skipped).
set -u
build=$1
source=$2
prefix=/usr/local

for tool in groff mandoc; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/kemro-install-test.XXXXXX") || exit 1
dest=$work/dest
# The test's install writes the build's manifest; a user's own is put back.
manifest=$build/install_manifest.txt
[ -f "$manifest" ] && cp "$manifest" "$work/saved_manifest"
restore() {
  rm -f "$manifest"
  [ -f "$work/saved_manifest" ] && cp "$work/saved_manifest" "$manifest"
  rm -rf "$work"
}
trap restore EXIT

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

DESTDIR=$dest cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 ||
  { cat "$work/install.log"; fail "cmake --install"; exit 1; }
bin=$dest$prefix/bin
man1=$dest$prefix/share/man/man1

# Each program comes with its page, and nothing else is installed.
expected_files=0
for program in kemro kemro-grid kemro-observed kemro-serve; do
  [ -f "$build/$program" ] || continue
  expected_files=$((expected_files + 2))
  [ -x "$bin/$program" ] || fail "$program not installed in $bin"
  [ -f "$man1/$program.1" ] || fail "$program.1 not installed in $man1"
done
installed_files=$(find "$dest" -type f | wc -l)
[ "$installed_files" -eq "$expected_files" ] ||
  fail "$installed_files files installed, expected $expected_files: $(find "$dest" -type f)"

# The installed kemro gives the stored report of the same problem (the CPU
# time aside), and ends with status 0.
(cd "$work" && printf 'r.txt\n100\n80\n20\n0\ny\n' | "$bin/kemro" >kemro.out 2>kemro.err) ||
  fail "kemro: status $? ($(cat "$work/kemro.err"))"
grep -v '^CPU TIME IN SECONDS' "$source/tests/expected/no_effect.txt" >"$work/expected.txt"
grep -v '^CPU TIME IN SECONDS' "$work/r.txt" >"$work/actual.txt" 2>/dev/null
cmp -s "$work/expected.txt" "$work/actual.txt" ||
  fail "kemro's report differs from tests/expected/no_effect.txt"

version=$("$bin/kemro-grid" --version) || fail "kemro-grid --version: status $?"
case $version in kemro-grid\ *) ;; *) fail "kemro-grid --version printed '$version'" ;; esac
"$bin/kemro-grid" --applicants 30,40 --majority 20 --hires 5 --d 0,0.5 --csv >"$work/grid.csv" ||
  fail "kemro-grid on a small grid: status $?"
rows=$(wc -l <"$work/grid.csv")
[ "$rows" -eq 5 ] || fail "kemro-grid wrote $rows CSV lines for 4 scenarios"

if [ -x "$bin/kemro-observed" ]; then
  "$bin/kemro-observed" --version >/dev/null || fail "kemro-observed --version: status $?"
fi
if [ -x "$bin/kemro-serve" ]; then
  "$bin/kemro-serve" --version >/dev/null || fail "kemro-serve --version: status $?"
fi

# Every page renders without a single warning, by groff and by mandoc, and
# carries the programs' version.
kemro_version=$(cat "$source/VERSION")
for page in "$man1"/*.1; do
  grep -q "^\.TH .*\"KEMRO $kemro_version\"" "$page" || fail "$(basename "$page") is not of version $kemro_version"
  groff_warnings=$(groff -man -ww -z "$page" 2>&1)
  [ -z "$groff_warnings" ] || fail "groff on $(basename "$page"): $groff_warnings"
  mandoc_warnings=$(mandoc -T lint "$page" 2>&1)
  [ -z "$mandoc_warnings" ] || fail "mandoc on $(basename "$page"): $mandoc_warnings"
done

# Uninstalling removes every installed file and the manifest with them.
DESTDIR=$dest cmake -D MANIFEST="$manifest" -P "$source/cmake/uninstall.cmake" >"$work/uninstall.log" 2>&1 ||
  { cat "$work/uninstall.log"; fail "uninstall"; }
left=$(find "$dest" ! -type d)
[ -z "$left" ] || fail "left after uninstall: $left"
[ ! -e "$manifest" ] || fail "the manifest is still there after uninstall"

[ "$failures" -eq 0 ] && echo "PASS"
[ "$failures" -eq 0 ]
