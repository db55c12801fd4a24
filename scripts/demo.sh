#!/usr/bin/env bash
# The main job: builds Update.exe with a loopback update URL and throwaway release keys, publishes
# the new product with the vendor's tool (scripts/release.py) on a local nginx, starts the old
# product, runs a whole update under Wine and Xvfb, then a run that finds nothing new, and prints
# the outcome.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${OMBRIX_BUILD_DIR:-$root/build}"
port="${OMBRIX_TEST_PORT:-47631}"

bash "$root/scripts/setup.sh"
source "$root/scripts/wine-tree.sh"
# The tests' tree: its signed variant is a customer's build but for the URL and the keys.
build_test_tree "$build/win" "$port"

export OMBRIX_WIN_BUILD_DIR="$build/win"
export OMBRIX_DEMO_SIGNED_DIR="$signed_tree"
export OMBRIX_DEMO_PORT="$port"
export OMBRIX_E2E_STATE="$build/demo-state"
export OMBRIX_DEMO_OUT="$build/demo"
mkdir -p "$OMBRIX_E2E_STATE"
# Wine in Simplified Chinese, as the product's users see the system's boxes (是/否), where the
# machine has that locale (scripts/setup.sh generates it).
if locale -a 2>/dev/null | grep -qix 'zh_CN.utf8'; then
  export OMBRIX_E2E_LANG=zh_CN.UTF-8
fi
exec python3 "$root/scripts/demo.py"
