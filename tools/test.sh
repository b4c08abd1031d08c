#!/usr/bin/env bash
# Runs every test: the Linux build, the same tests under AddressSanitizer and UBSan, the
# installation and the Debian package, and the Windows builds (brx.exe for i686 and its zip; the
# tests for x86_64, run under wine).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out=${BRX_BUILD_ROOT:-$top/build}
jobs=$(nproc)

"$top/tools/install-deps.sh" --all

# An iSCSI tape and an iSCSI tape library on loopback for the interop tests; they skip themselves
# without them.
tgt_dir=$(mktemp -d)
library_dir=$(mktemp -d)
cleanup() {
  "$top/tests/tgt/stop-tgt.sh" "$tgt_dir" >/dev/null 2>&1 || true
  "$top/tests/tgt/stop-tgt.sh" "$library_dir" >/dev/null 2>&1 || true
  rm -rf "$tgt_dir" "$library_dir"
}
trap cleanup EXIT
if [ -x "$top/tests/tgt/start-tgt.sh" ]; then
  export BRX_TEST_ISCSI_URL BRX_TEST_LIBRARY_URL
  BRX_TEST_ISCSI_URL=$("$top/tests/tgt/start-tgt.sh" "$tgt_dir")
  BRX_TEST_LIBRARY_URL=$(BRX_TGT_PORT=${BRX_LIBRARY_PORT:-3293} BRX_TGT_CONTROL=${BRX_LIBRARY_CONTROL:-3294} \
                         "$top/tests/tgt/start-library.sh" "$library_dir")
fi

run_ctest() {
  # The tests that share the one iSCSI tape, or the one library, run one at a time.
  ctest --test-dir "$1" --output-on-failure -j "$jobs" -E 'Tgt' "${@:2}"
  ctest --test-dir "$1" --output-on-failure -j 1 -R 'Tgt' --no-tests=ignore "${@:2}"
}

# Every build here treats warnings as errors; a user's default build does not.
linux_build() {
  cmake -S "$top" -B "$out/$1" -DBRX_WERROR=ON "${@:2}" >/dev/null
  cmake --build "$out/$1" -j "$jobs"
  run_ctest "$out/$1"
}

echo "== Linux, Release"
linux_build linux -DCMAKE_BUILD_TYPE=Release
echo "== Linux, Debug, AddressSanitizer and UndefinedBehaviorSanitizer"
linux_build sanitize -DCMAKE_BUILD_TYPE=Debug -DBRX_SANITIZE=ON

echo "== Installation: cmake --install of the Release build into a temporary prefix"
"$top/tools/check-install.sh" "$out/linux"

echo "== Debian package: built from a copy of the sources, lintian, installed into an empty root"
"$top/tools/check-package.sh" "$out/package"

echo "== Windows i686 (brx.exe, brxtool.exe)"
cmake -S "$top" -B "$out/win32" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-i686.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DBRX_WERROR=ON -DBRX_TESTS=OFF >/dev/null
cmake --build "$out/win32" -j "$jobs" --target brx brxtool
# It cannot run here: check what it is. A 32-bit console program, importing system DLLs only,
# and built without the test build's virtual devices (it reads no BRX_ variable).
"$top/tools/check-brx-exe.sh" "$out/win32/frontend/brx.exe"

echo "== Windows zip: brx.exe, brxtool.exe, the README and the licence"
version=$(sed -n 's/^project(brx VERSION \([0-9.]*\).*/\1/p' "$top/CMakeLists.txt")
zip_file=$out/brx-$version-win32.zip
rm -f "$zip_file"
zip -q -j -X "$zip_file" "$out/win32/frontend/brx.exe" "$out/win32/brxtool/brxtool.exe" "$top/README.md" "$top/LICENSE"
diff <(printf '%s\n' LICENSE README.md brx.exe brxtool.exe) <(zip -sf "$zip_file" | sed -n 's/^  //p' | LC_ALL=C sort)
echo "$zip_file: $(stat -c %s "$zip_file") bytes"

echo "== Windows x86_64 test build (virtual tapes), tests under wine"
cmake -S "$top" -B "$out/win64" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-x86_64.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DBRX_WERROR=ON -DBRX_VIRTUAL_DEVICES=ON >/dev/null
cmake --build "$out/win64" -j "$jobs"
export WINEDEBUG=-all WINEPREFIX="$out/wineprefix"
unset DISPLAY
mkdir -p "$WINEPREFIX"
# Start wine's helpers before ctest, or they hold its output pipe open.
wineserver -p || true  # already running for this prefix is fine
wineboot -i </dev/null >/dev/null 2>&1 || true
ctest --test-dir "$out/win64" --output-on-failure -j "$jobs"
count() { ctest --test-dir "$out/win64" -N "$@" | sed -n 's/^Total Tests: //p'; }
e2e=$(count -L '^e2e$')
all=$(count)
wineserver -k || true
echo "Windows x86_64 under wine: $((all - e2e)) unit tests and $e2e end-to-end tests of brx.exe passed"

echo "== Fuzzing: each harness from its seeds under ASan and UBSan"
"$top/tools/fuzz.sh"

echo "== Coverage: lines of copy/, tapeio/ and brxtool/ run by the Linux tests (at least 90% each)"
cmake -S "$top" -B "$out/coverage" -DCMAKE_BUILD_TYPE=Debug -DBRX_WERROR=ON "-DCMAKE_CXX_FLAGS=--coverage -fprofile-update=atomic" >/dev/null
cmake --build "$out/coverage" -j "$jobs"
find "$out/coverage" -name '*.gcda' -delete
run_ctest "$out/coverage"
for area in copy tapeio brxtool; do
  (cd "$top" && gcovr --object-directory "$out/coverage" --filter "$area/" --fail-under-line 90 \
                      "$out/coverage/$area")
done

echo "== Share of test lines: C and C++ under tests/ (and bench/*test*) against all other C and C++"
lines_of() { (cd "$top" && git ls-files -- "$@" | grep -E '\.(cpp|cc|h|hpp|c)$' | xargs -r cat | wc -l); }
test_lines=$(lines_of tests 'bench/*test*')
code_lines=$(( $(lines_of .) - test_lines ))
echo "tests: $test_lines lines against $code_lines lines of code ($(( 100 * test_lines / code_lines ))%)"
