#!/usr/bin/env bash
# Sets up the machine, builds the server and runs it on the bundled sample dictionary.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
echo "run: the Kelvaro server is not built yet; only the engine libraries and their tests exist." >&2
exit 1
