#!/usr/bin/env bash
# Unpacks Debian's source package of cpp-httplib, the version of the
# installed libcpp-httplib-dev, with Debian's patches applied, for the
# Windows build of `orv serve`. Debian's binary package ships the header
# split for its compiled library (declarations only); the mingw build needs
# the header-only form, which is the source package's httplib.h.
#
#   bash scripts/httplib-source.sh [FOLDER]   (default /var/cache/orv)
#
# Leaves FOLDER/cpp-httplib-VERSION/httplib.h (CMake looks there) and does
# nothing when it is present. The source index is fetched into a private
# apt state under FOLDER: the system's apt configuration is not changed.
set -euo pipefail

folder=${1:-/var/cache/orv}
version=$(dpkg-query -W -f='${Version}' libcpp-httplib-dev)
upstream=${version%%+*}
target="$folder/cpp-httplib-$upstream"
if [ -f "$target/httplib.h" ]; then
  echo "httplib-source: $target/httplib.h present"
  exit 0
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/httplib-source.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/lists/partial" "$work/cache/archives/partial" "$work/get"

# The system's own Debian archives (and snapshot, if it pins one), as source archives.
sources=()
for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.sources /etc/apt/sources.list.d/*.list; do
  [ -f "$file" ] && sources+=("$file")
done
: >"$work/deb-src.sources"
: >"$work/deb-src.list"
for file in "${sources[@]}"; do
  case "$file" in
    *.sources) sed -n '/^Types:/!{p;d};s/^Types:.*/Types: deb-src/p' "$file" >>"$work/deb-src.sources"
               echo >>"$work/deb-src.sources" ;;
    *) sed -n 's/^deb \(.*debian.*\)$/deb-src \1/p' "$file" >>"$work/deb-src.list" ;;
  esac
done
mkdir -p "$work/parts"
cp "$work/deb-src.sources" "$work/parts/"
apt=(apt-get -q -o "Dir::Etc::SourceList=$work/deb-src.list" -o "Dir::Etc::SourceParts=$work/parts"
  -o "Dir::State::Lists=$work/lists" -o "Dir::Cache=$work/cache" -o "APT::Sandbox::User=root")
"${apt[@]}" update >/dev/null
(cd "$work/get" && "${apt[@]}" source --download-only "cpp-httplib=$version" >/dev/null)
# apt checked the files against the signed archive index; dpkg-source's
# complaint about the uploader's key (not installed) is noise unless it fails.
if ! dpkg-source -x "$work/get/"*.dsc "$work/src" >"$work/unpack.log" 2>&1; then
  cat "$work/unpack.log" >&2
  exit 1
fi
test -f "$work/src/httplib.h"

mkdir -p "$target"
cp "$work/src/httplib.h" "$work/src/LICENSE" "$target/"
echo "httplib-source: $target/httplib.h"
