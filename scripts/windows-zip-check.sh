#!/usr/bin/env bash
# Builds the Windows zip from the windows preset's build (cpack), checks what
# it holds (the DLLs, import library and .def, header, CMake and pkg-config
# files, programs, the version resource of every DLL and program), unpacks
# it and runs its orv.exe list under wine against the simulated FTD2XX.dll
# of lib/orv/sim.
#
#   bash scripts/windows-zip-check.sh     # build/windows/packages, build/windows-zip-check
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
jobs="${ORV_JOBS:-2}"
work="$PWD/build/windows-zip-check"
fail() {
  echo "windows-zip-check: $*" >&2
  exit 1
}

cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs" --target orv orv_command velmar_multi_device_speed ftd2xx
rm -rf build/windows/packages "$work"
cpack --preset windows >/dev/null
mapfile -t zips < <(ls build/windows/packages/*.zip)
[ "${#zips[@]}" = 1 ] || fail "expected one zip, got: ${zips[*]}"
mkdir -p "$work"
unzip -q "${zips[0]}" -d "$work"
top=$(find "$work" -mindepth 1 -maxdepth 1 -type d)
[ "$(echo "$top" | wc -l)" = 1 ] || fail "the zip holds more than one top folder"

version=$(sed -n 's/^project(orv VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
for file in bin/liborv.dll bin/orv.exe bin/velmar_multi_device_speed.exe lib/liborv.dll.a \
  lib/liborv.def include/orv.h lib/orv/sim/FTD2XX.dll lib/orv/record/FTD2XX.dll lib/cmake/orv/orvConfig.cmake \
  lib/cmake/orv/orvConfigVersion.cmake lib/pkgconfig/orv.pc share/doc/orv/LICENSE; do
  [ -f "$top/$file" ] || fail "$file is missing from $(basename "${zips[0]}")"
done
[ ! -e "$top/bin/FTD2XX.dll" ] || fail "the simulated FTD2XX.dll must not sit beside liborv.dll"
grep -qw orv_version "$top/lib/liborv.def" || fail "liborv.def lacks orv_version"
# orv.pc finds the folder the zip was unpacked to.
read -r include _ <<<"$(PKG_CONFIG_LIBDIR="$top/lib/pkgconfig" pkg-config --cflags-only-I orv)"
[ -f "${include#-I}/orv.h" ] || fail "orv.pc points to ${include#-I}, not the unpacked include/"
mapfile -t binaries < <(find "$top" -iname '*.dll' -o -iname '*.exe')
bash scripts/pe-version-check.sh "$version" "${binaries[@]}" >/dev/null

# The simulator is chosen through the search path, as a vendor FTD2XX.dll
# in the system folder would be found otherwise.
export WINEDEBUG=-all
export HOME="${HOME:-$(getent passwd "$(id -u)" | cut -d: -f6)}"
WINEPATH="$(/usr/lib/wine/wine64 winepath -w "$top/lib/orv/sim" 2>/dev/null | tr -d '\r')"
export WINEPATH
output=$(env -u ORVSIM_SCENARIO /usr/lib/wine/wine64 "$top/bin/orv.exe" list 2>&1 | tr -d '\r') ||
  fail "orv.exe list failed: $output"
echo "$output" | grep -q ORVSIM01 || fail "orv.exe list shows no ORVSIM01: $output"
echo "windows-zip-check: $(basename "${zips[0]}"): files, version resources and orv.exe list ok"
