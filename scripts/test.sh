#!/usr/bin/env bash
# Checks the code format, then builds and tests everything: the Linux build under
# AddressSanitizer and UBSan, the ThreadSanitizer programs, a build without tests, the libFuzzer
# harnesses (clang, run briefly over their seeds), then the 64-bit and 32-bit Windows builds with
# mingw-w64, whose tests run under wine (headless, private prefix under the build folder). Fails when any of them fails,
# and when the 32-bit Windows tests cannot run.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
jobs=${KOV_JOBS:-$(nproc)}
B=${KOV_BUILD:-$top/build/ci}
mkdir -p "$B"
started=$SECONDS

bash scripts/setup.sh

# Where the kernel cannot start 32-bit programs, setup.sh has them start through qemu's
# user-mode emulation (a binfmt_misc entry with qemu-i386 as its interpreter).
emulated=
for e in /proc/sys/fs/binfmt_misc/*; do
  case ${e##*/} in register|status) continue ;; esac
  if [ "$(head -n 1 "$e" 2>/dev/null)" = enabled ] && grep -qs '^interpreter .*qemu-i386' "$e"; then
    emulated=${e##*/}
  fi
done
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  echo "test: 32-bit programs cannot start here, so the i686 Windows tests cannot run" >&2
  exit 1
fi

# Headless: wine must not reach for a display even when the caller has one.
unset DISPLAY WAYLAND_DISPLAY
export WINEPREFIX=$B/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() { wineserver -k >/dev/null 2>&1 || true; }
trap cleanup EXIT

# A prefix booted while 32-bit programs could not start has no 32-bit half (syswow64): every
# i686 program fails in it with "c0000135". Such a prefix, or one whose boot was cut short, is
# made again.
prefix_ready() {
  [ -f "$WINEPREFIX/system.reg" ] && [ -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]
}
if [ -d "$WINEPREFIX" ] && ! prefix_ready; then
  echo "test: the wine prefix lacks its 32-bit half; making it again"
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
fi
# The prefix takes ~15 s to create (a few minutes when its 32-bit half runs emulated); make it
# while the compilers run. wine64 directly: /usr/bin/wine goes through the 32-bit loader.
( prefix_ready || { /usr/lib/wine/wine64 wineboot -i </dev/null >/dev/null 2>&1; wineserver -w; } ) &
boot=$!

# Each step's wall time, printed at the end.
timings=()
step_name="set-up"
step_start=$started
step() {
  timings+=("$(printf '%5d s  %s' $((SECONDS - step_start)) "$step_name")")
  step_name=$*
  step_start=$SECONDS
  echo; echo "==== $*"
}

step "Code format (clang-format; scripts/check-format.sh --fix formats)"
bash scripts/check-format.sh

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

step "Linux build without tests (the benchmarks must not need them)"
cmake -S . -B "$B/notests" -G Ninja -DKOV_TESTS=OFF >/dev/null
cmake --build "$B/notests" -j "$jobs"

# The harnesses of fuzz/, built with clang where it has libFuzzer, each run for a short time
# over its seeds (KOV_FUZZ_SECONDS, default 20); any finding fails the run.
fuzz_probe=$B/fuzz-probe.cpp
echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }' >"$fuzz_probe"
if command -v clang++ >/dev/null &&
   clang++ -fsanitize=fuzzer,address,undefined "$fuzz_probe" -o "$B/fuzz-probe" >/dev/null 2>&1; then
  step "Fuzzing build (clang, libFuzzer + AddressSanitizer + UBSan)"
  CC=clang CXX=clang++ cmake -S . -B "$B/fuzz" -G Ninja -DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS_DEBUG=-g -O1" \
        -DKOV_SANITIZE=address,undefined -DKOV_FUZZ=ON -DKOV_TESTS=OFF -DKOV_BENCH=OFF >/dev/null
  cmake --build "$B/fuzz" -j "$jobs" --target fuzzers
  step "Fuzzing (${KOV_FUZZ_SECONDS:-20} s per harness)"
  KOV_JOBS=$jobs bash fuzz/run.sh "$B/fuzz" "${KOV_FUZZ_SECONDS:-20}"
else
  echo "test: no clang with libFuzzer here; the fuzzing build is left out"
fi

step "Wine prefix (waiting for its boot)"
# Whatever the boot returned, the prefix's files tell whether it can run both kinds of program.
wait $boot || true
if ! prefix_ready; then
  echo "test: the wine prefix was made without its 32-bit half (syswow64)" >&2
  exit 1
fi
# One wine server for all test programs, and its service processes started off ctest's pipes
# (otherwise ctest waits for them to close their inherited output). A server left running for
# this prefix serves as well.
wineserver -p 2>/dev/null || true
/usr/lib/wine/wine64 cmd /c exit 0 </dev/null >/dev/null 2>&1 || true
# A crashing 32-bit program must end with its exception code. Under the emulator wine's
# debugger, started on a crash, hangs with the crashed program; there the 32-bit programs get
# none.
if [ -n "$emulated" ]; then debugger=""; else debugger="winedbg --auto %ld %ld"; fi
/usr/lib/wine/wine64 reg add 'HKLM\Software\Wow6432Node\Microsoft\Windows NT\CurrentVersion\AeDebug' \
  /v Debugger /d "$debugger" /f </dev/null >/dev/null 2>&1

step "Windows tests under wine (x86_64)"
ctest --test-dir "$B/x86_64" --output-on-failure --timeout 300 -j "$jobs"

# The server and client programs of the 64-bit build, driven from the Linux test program (it
# sends the stop signals and runs the scripted transcript, whose replies must be the same bytes
# as the Linux server's); one after another, since they share the prefix's user folder.
step "Windows server programs under wine (x86_64)"
KOV_WINE_BUILD="$B/x86_64" ASAN_OPTIONS=detect_leaks=1 \
  "$B/native/tests/server/server_program_test" --gtest_filter='*/Wine64' --gtest_brief=1

# The scripted transcript, whose replies must be the same bytes from every build, also from the
# 32-bit server; only where the kernel starts 32-bit programs itself (under the emulator every
# program start of the transcript's run costs about a minute).
if [ -z "$emulated" ]; then
  step "Windows server programs under wine (i686): the transcript"
  KOV_WINE32_BUILD="$B/i686" ASAN_OPTIONS=detect_leaks=1 \
    "$B/native/tests/server/server_program_test" --gtest_filter='*Transcript*/Wine32' --gtest_brief=1
fi

if [ -z "$emulated" ]; then
  step "Windows tests under wine (i686)"
  ctest --test-dir "$B/i686" --output-on-failure --timeout 300 -j "$jobs"
else
  # Each 32-bit program spends about a minute of processor time in wine's start-up under the
  # emulator (qemu keeps account, page by page, of the address space wine reserves and probes);
  # the folder programs run side by side. The tests listed in
  # tests/i686-emulated-skip.txt crash inside wine and qemu there (not in our code); every
  # other test runs.
  step "Windows tests under wine (i686, 32-bit programs emulated by $emulated)"
  skip=()
  while read -r name reason; do
    case $name in ''|'#'*) continue ;; esac
    echo "left out under the emulator: $name ($reason)"
    skip+=("$name")
  done < "$top/tests/i686-emulated-skip.txt"
  filter=
  if [ ${#skip[@]} -gt 0 ]; then filter=-$(IFS=:; echo "${skip[*]}"); fi
  env ${filter:+GTEST_FILTER=$filter} \
    ctest --test-dir "$B/i686" --output-on-failure --timeout 1200 -j "$jobs"
fi
step "all builds and tests passed"
printf '%s\n' "${timings[@]}"
printf '%5d s  in all\n' $((SECONDS - started))
