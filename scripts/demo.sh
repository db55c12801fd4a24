#!/usr/bin/env bash
# The main job: builds Update.exe with a loopback update URL, starts a local update server and
# the old product, runs a whole update under Wine and Xvfb, and prints the outcome.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${OMBRIX_BUILD_DIR:-$root/build}"

bash "$root/scripts/setup.sh"
source "$root/scripts/wine-tree.sh"
cmake -G Ninja -S "$root" -B "$build/win" -DCMAKE_TOOLCHAIN_FILE="$wine_toolchain" \
  -DUPDATE_URL="http://127.0.0.1:47631/soft/updates/ombrix/ombrix" -DUPDATE_ALLOW_UNSIGNED=ON \
  >/dev/null
cmake --build "$build/win"

export OMBRIX_WIN_BUILD_DIR="$build/win"
export OMBRIX_E2E_STATE="$build/demo-state"
export OMBRIX_DEMO_OUT="$build/demo"
mkdir -p "$OMBRIX_E2E_STATE"
# Wine in Simplified Chinese, as the product's users see the system's boxes (是/否), where the
# machine has that locale (scripts/setup.sh generates it).
if locale -a 2>/dev/null | grep -qix 'zh_CN.utf8'; then
  export OMBRIX_E2E_LANG=zh_CN.UTF-8
fi
exec python3 "$root/scripts/demo.py"
