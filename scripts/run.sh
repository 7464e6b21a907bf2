#!/usr/bin/env bash
# Sets up the machine, builds the server (Release) and runs it in the foreground on the bundled
# dictionary, for the current user. Ctrl-C stops it cleanly (the dictionaries are saved).
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
B=${KOV_RUN_BUILD:-$top/build/run}
bash scripts/setup.sh
cmake -S . -B "$B" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKOV_TESTS=OFF -DKOV_BENCH=OFF >/dev/null
cmake --build "$B" -j "${KOV_JOBS:-4}" --target Kelvaro kelvaro-client kov_default_dict >/dev/null

config=$B/Kelvaro-run.json
printf '{"db-dir": "%s/dict"}\n' "$B" > "$config"

# Where the server puts its socket (the runtime folder of platform/posix/runtime_folder.cpp).
runtime=${XDG_RUNTIME_DIR:-}
[[ $runtime == /* ]] || runtime=${TMPDIR:-/tmp}/kelvaro-$(id -u)
[[ $runtime == /* ]] || runtime=/tmp/kelvaro-$(id -u)
echo "Kelvaro listens on $runtime/Kelvaro_$(id -un) (dictionary $B/dict); talk to it with $B/tools/client/kelvaro-client, stop it with Ctrl-C."
rc=0
"$B/engine/Kelvaro/Kelvaro" "$config" || rc=$?
if [ $rc -ne 0 ]; then
  echo "run: Kelvaro ended with exit code $rc: it could not start (is another server of yours running?)" >&2
fi
exit $rc
