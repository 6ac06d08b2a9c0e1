#!/usr/bin/env bash
# Installs the build's runtime, development and simulator files under a fresh
# prefix, then builds a C example with what pkg-config reads from that
# prefix's orv.pc and runs it against the installed simulator, directly and
# through the installed recorder.
#
#   relocated_install.sh BUILD_DIR WORK_DIR CC EXAMPLE.c [EXTRA_LINK_FLAGS]
#
# EXTRA_LINK_FLAGS: what a consumer of a sanitized build links besides
# orv.pc's flags (the sanitizer's runtimes); empty for a plain build.
set -euo pipefail
build=$1 work=$2 cc=$3 example=$4
read -r -a extra_flags <<<"${5:-}"
prefix="$work/prefix"
fail() {
  echo "relocated_install: $*" >&2
  exit 1
}

rm -rf "$work"
for component in runtime development simulator tools; do
  cmake --install "$build" --prefix "$prefix" --component "$component" >/dev/null
done
mapfile -t pcs < <(find "$prefix" -name orv.pc)
[ "${#pcs[@]}" = 1 ] || fail "expected one orv.pc under the prefix, got ${#pcs[*]}"
pcdir=$(dirname "${pcs[0]}")
if grep -n "/usr/local\|$build" "${pcs[0]}"; then fail "orv.pc names a folder outside the prefix"; fi

export PKG_CONFIG_LIBDIR="$pcdir"
read -r -a cflags <<<"$(pkg-config --cflags orv)"
read -r -a libs <<<"$(pkg-config --libs orv)"
include=${cflags[0]#-I}
[ -f "$include/orv.h" ] || fail "orv.pc's include folder $include holds no orv.h"
[ "$(realpath "$include")" = "$(realpath "$prefix/include")" ] || fail "orv.pc's include folder is $include"
libdir=${libs[0]#-L}
[ "$(realpath "$libdir")" = "$(realpath "$(dirname "$pcdir")")" ] || fail "orv.pc's library folder is $libdir"
[ "$(pkg-config --modversion orv)" = "$(sed -n 's/^#define ORV_VERSION "\(.*\)"$/\1/p' "$include/orv.h")" ] ||
  fail "orv.pc's version is not the header's"

"$cc" -o "$work/list_and_save" "$example" "${cflags[@]}" "${libs[@]}" -lpthread "${extra_flags[@]}"
provider=$(find "$prefix" -path "*/orv/sim/libftd2xx.so")
output=$(LD_LIBRARY_PATH="$libdir" ORV_D2XX_LIBRARY="$provider" "$work/list_and_save")
[ "$(tail -n 1 <<<"$output")" = "4 device(s)" ] || fail "the example listed: $output"

recorder=$(find "$prefix" -path "*/orv/record/libftd2xx.so")
[ -n "$recorder" ] || fail "the recorder is not installed"
recorded=$(LD_LIBRARY_PATH="$libdir" ORV_D2XX_LIBRARY="$recorder" ORV_RECORD_PROVIDER="$provider" \
  ORV_RECORD_FILE="$work/example.jsonl" "$work/list_and_save" 2>"$work/recorder.err")
[ "$recorded" = "$output" ] || fail "through the recorder the example listed: $recorded"
[ ! -s "$work/recorder.err" ] || fail "the recorder said: $(cat "$work/recorder.err")"
grep -q '"call":"FT_GetDeviceInfoList"' "$work/example.jsonl" || fail "the capture lacks the listing"
echo "relocated_install: built and ran against $prefix"
