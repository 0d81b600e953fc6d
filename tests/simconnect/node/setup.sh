#!/usr/bin/env bash
# Installs node-simconnect for the interop tests into the build folder (CTest fixture).
# Usage: setup.sh SOURCE_DIR TARGET_DIR. Exits 0 when installed (or already there), 77
# (CTest: skipped) with a message when node/npm or the registry is not reachable.
set -u
src=$1
target=$2
want=$(sed -n 's/.*"node-simconnect": *"\([^"]*\)".*/\1/p' "$src/package.json")
have=$(sed -n 's/^ *"version": *"\([^"]*\)".*/\1/p' "$target/node_modules/node-simconnect/package.json" 2>/dev/null | head -1)
if [ -n "$have" ] && [ "$have" = "$want" ]; then
    echo "node-simconnect $have already installed in $target"
    exit 0
fi
if ! command -v npm >/dev/null 2>&1 || ! command -v node >/dev/null 2>&1; then
    echo "SKIPPED: node/npm not installed: the node-simconnect interop tests will be skipped"
    exit 77
fi
mkdir -p "$target"
cp "$src/package.json" "$target/package.json"
cd "$target" || exit 77
if ! timeout 300 npm install --no-audit --no-fund --no-package-lock --loglevel=error >npm.log 2>&1; then
    echo "SKIPPED: npm could not install node-simconnect $want (registry unreachable?):"
    tail -5 npm.log
    echo "The node-simconnect interop tests will be skipped."
    exit 77
fi
echo "node-simconnect $want installed in $target"
exit 0
