#!/usr/bin/env bash
# Installs node-simconnect for the interop tests into the build folder (CTest fixture), with
# `npm ci` from the committed package.json and package-lock.json, so every run gets the same
# packages, checked against the lock's integrity hashes.
# Usage: setup.sh SOURCE_DIR TARGET_DIR. Exits 0 when installed (or already installed from
# this lock), 77 (CTest: skipped) with a message when node/npm or the registry is not
# reachable.
# The lock has no "resolved" addresses (made with --omit-lockfile-registry-resolved): npm
# fetches from whatever registry it is configured with.
set -u
src=$1
target=$2
if [ -f "$target/node_modules/node-simconnect/package.json" ] &&
    cmp -s "$src/package-lock.json" "$target/package-lock.json"; then
    echo "node-simconnect already installed in $target from this lock"
    exit 0
fi
if ! command -v npm >/dev/null 2>&1 || ! command -v node >/dev/null 2>&1; then
    echo "SKIPPED: node/npm not installed: the node-simconnect interop tests will be skipped"
    exit 77
fi
mkdir -p "$target"
cp "$src/package.json" "$src/package-lock.json" "$target/"
cd "$target" || exit 77
if ! timeout 300 npm ci --no-audit --no-fund --loglevel=error >npm.log 2>&1; then
    echo "SKIPPED: npm ci could not install node-simconnect (registry unreachable?):"
    tail -5 npm.log
    echo "The node-simconnect interop tests will be skipped."
    rm -f package-lock.json  # so the next run tries again
    exit 77
fi
echo "node-simconnect installed in $target from the committed lock"
exit 0
