#!/usr/bin/env bash
# Checks the version resource of Windows DLLs and programs: file and product
# version are VERSION (numbers and text), the original file name is the
# file's own, and the file type matches the file (program or DLL). Reads the
# resources with mingw-w64's windres.
#
#   bash scripts/pe-version-check.sh 0.2.0 bin/liborv.dll bin/orv.exe ...
set -euo pipefail
windres=x86_64-w64-mingw32-windres
[ "$#" -ge 2 ] || {
  echo "usage: $0 VERSION FILE..." >&2
  exit 2
}
version=$1
shift
IFS=. read -r major minor patch <<<"$version"
numbers="$major, $minor, $patch, 0"
failed=0
for file in "$@"; do
  name=$(basename "$file")
  case "${name,,}" in
    *.exe) type=0x1 ;;
    *.dll) type=0x2 ;;
    *)
      echo "$file: neither a program nor a DLL" >&2
      failed=1
      continue
      ;;
  esac
  if ! resource=$("$windres" -i "$file" -O rc 2>&1); then
    echo "$file: unreadable: $resource" >&2
    failed=1
    continue
  fi
  problems=()
  grep -qx " FILEVERSION $numbers" <<<"$resource" || problems+=("FILEVERSION is not $numbers")
  grep -qx " PRODUCTVERSION $numbers" <<<"$resource" || problems+=("PRODUCTVERSION is not $numbers")
  grep -qx " FILETYPE $type" <<<"$resource" || problems+=("FILETYPE is not $type")
  grep -qxF "      VALUE \"FileVersion\", \"$version\"" <<<"$resource" || problems+=("FileVersion is not $version")
  grep -qxF "      VALUE \"ProductVersion\", \"$version\"" <<<"$resource" ||
    problems+=("ProductVersion is not $version")
  grep -qxF "      VALUE \"OriginalFilename\", \"$name\"" <<<"$resource" ||
    problems+=("OriginalFilename is not $name")
  if [ "${#problems[@]}" -gt 0 ]; then
    for problem in "${problems[@]}"; do echo "$file: $problem" >&2; done
    failed=1
  fi
done
[ "$failed" = 0 ] && echo "pe-version-check: $# file(s) carry version $version"
exit "$failed"
