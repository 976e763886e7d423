#!/usr/bin/env bash
# Installs the MCAP reader and schema packages that mcap_validate.js uses,
# exactly as locked, into DIR/node_modules.
# Usage: install.sh DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$1"
cp "$here/package.json" "$here/package-lock.json" "$1/"
cd "$1"
npm ci --no-audit --no-fund --loglevel=error
