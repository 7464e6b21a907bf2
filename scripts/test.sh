#!/usr/bin/env bash
# Builds and tests everything: the Linux build under AddressSanitizer and UBSan, then the
# 64-bit and 32-bit Windows builds with mingw-w64, whose tests run under wine (headless,
# private prefix under the build folder). Fails when any of them fails.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
jobs=${KOV_JOBS:-$(nproc)}
B=${KOV_BUILD:-$top/build/ci}
mkdir -p "$B"

bash scripts/setup.sh

# Headless: wine must not reach for a display even when the caller has one.
unset DISPLAY WAYLAND_DISPLAY
export WINEPREFIX=$B/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() { wineserver -k >/dev/null 2>&1 || true; }
trap cleanup EXIT

# The wine prefix takes ~15 s to create; make it while the compilers run.
# wine64 directly: /usr/bin/wine goes through the 32-bit loader, which some kernels cannot run.
( [ -f "$WINEPREFIX/system.reg" ] || { /usr/lib/wine/wine64 wineboot -i </dev/null >/dev/null 2>&1; wineserver -w; } ) &
boot=$!

step() { echo; echo "==== $*"; }

step "Linux build (AddressSanitizer + UBSan)"
cmake -S . -B "$B/native" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKOV_SANITIZE=address,undefined >/dev/null
cmake --build "$B/native" -j "$jobs"

for a in x86_64 i686; do
  step "Windows build ($a)"
  cmake -S . -B "$B/$a" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-$a.cmake" >/dev/null
  cmake --build "$B/$a" -j "$jobs"
done

step "Linux tests"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir "$B/native" --output-on-failure --timeout 300 -j "$jobs"

if [ -f "$top/tests/tsan.txt" ]; then
  step "Linux build and tests (ThreadSanitizer)"
  cmake -S . -B "$B/tsan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKOV_SANITIZE=thread -DKOV_BENCH=OFF >/dev/null
  mapfile -t tsan_targets < <(grep -v '^#' "$top/tests/tsan.txt" | grep .)
  cmake --build "$B/tsan" -j "$jobs" --target "${tsan_targets[@]}"
  for t in "${tsan_targets[@]}"; do
    exe=$(find "$B/tsan/tests" -type f -name "$t" | head -n 1)
    TSAN_OPTIONS=halt_on_error=1 "$exe" --gtest_brief=1
  done
fi

wait $boot
# One wine server for all test programs, and its service processes started off ctest's pipes
# (otherwise ctest waits for them to close their inherited output).
wineserver -p
/usr/lib/wine/wine64 cmd /c exit 0 </dev/null >/dev/null 2>&1 || true

step "Windows tests under wine (x86_64)"
ctest --test-dir "$B/x86_64" --output-on-failure --timeout 300 -j "$jobs"

# The server and client programs of the 64-bit build, driven from the Linux test program (it
# sends the stop signals); one after another, since they share the prefix's user folder.
step "Windows server programs under wine (x86_64)"
KOV_WINE_BUILD="$B/x86_64" ASAN_OPTIONS=detect_leaks=1 \
  "$B/native/tests/server/server_program_test" --gtest_filter='*/Wine64' --gtest_brief=1

# 32-bit Windows programs need wine's 32-bit loader, a 32-bit Linux program; a kernel built
# without 32-bit support cannot start it, and then the i686 build is compiled but not run.
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  step "Windows tests under wine (i686)"
  ctest --test-dir "$B/i686" --output-on-failure --timeout 300 -j "$jobs"
else
  step "Windows tests (i686): NOT RUN, this kernel cannot execute 32-bit programs (the i686 build compiled)"
fi
echo
echo "==== all builds and tests passed"
