#!/usr/bin/env bash
# Installs the npm package jcampconverter, the independent JCAMP-DX reader of
# the orv tests (tests/orv/e2e/jcamp_read.mjs), with Debian's node and npm
# into a folder of its own: nothing global, nothing in the source tree.
#
#   bash scripts/jcampconverter.sh [FOLDER]   (default /var/cache/orv/npm)
#
# Leaves FOLDER/node_modules/jcampconverter (CMake looks there) at the pinned
# version and does nothing when it is present.
set -euo pipefail

folder=${1:-/var/cache/orv/npm}
version=12.5.3
package="$folder/node_modules/jcampconverter/package.json"
if [ -f "$package" ] && grep -q "\"version\": \"$version\"" "$package"; then
  echo "jcampconverter: $version present in $folder"
  exit 0
fi
mkdir -p "$folder"
npm install --prefix "$folder" --no-audit --no-fund --no-save "jcampconverter@$version"
echo "jcampconverter: $version installed in $folder"
