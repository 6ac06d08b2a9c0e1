#!/usr/bin/env bash
# Builds the Windows installer from the windows preset's build (cpack, NSIS)
# and checks it under wine: a silent install (/S) into a fresh folder with the
# programs' folder put on the user's PATH on request (/ADD_TO_PATH), the
# files, their version resources and the uninstaller's registration, orv.exe
# list and read against the simulated FTD2XX.dll of lib\orv\sim, orv.exe plot
# writing an SVG that Chromium renders with every label inside the picture and
# none overlapping (tests/orv/e2e/plot_svg_browser_check.py: also the linux
# preset's SVG byte for byte and its cairo layout, when build/linux is
# built), orv.exe serve asked by a client on this machine over loopback (page,
# API, refusals: tests/orv/e2e/installed_serve_check.py), a C example
# built against the installed CMake package (mingw) that links and runs,
# then a silent uninstall that leaves neither files, registration nor PATH
# entry behind.
#
#   bash scripts/windows-installer-check.sh   # build/windows/installer, build/windows-installer-check
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$PWD
jobs="${ORV_JOBS:-2}"
work="$root/build/windows-installer-check"
packages="$root/build/windows/installer"
fail() {
  echo "windows-installer-check: $*" >&2
  exit 1
}
export WINEDEBUG=-all
export HOME="${HOME:-$(getent passwd "$(id -u)" | cut -d: -f6)}"
wine=/usr/lib/wine/wine64
winpath() { "$wine" winepath -w "$1" 2>/dev/null | tr -d '\r'; }
registry() { "$wine" reg query "$@" 2>/dev/null | tr -d '\r'; }
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\liborv'

cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs" --target orv orv_command velmar_multi_device_speed ftd2xx
rm -rf "$packages" "$work"
cpack --preset windows-installer -B "$packages" >/dev/null
mapfile -t installers < <(ls "$packages"/*.exe)
[ "${#installers[@]}" = 1 ] || fail "expected one installer, got: ${installers[*]}"
mkdir -p "$work"
prefix="$work/fresh-install"
bin_dir="$(winpath "$prefix")\\bin"
if registry 'HKCU\Environment' /v PATH | grep -qiF "$bin_dir"; then fail "PATH holds $bin_dir already"; fi

# /D must come last and unquoted.
"$wine" "${installers[0]}" /S /ADD_TO_PATH "/D=$(winpath "$prefix")" </dev/null >/dev/null 2>&1 ||
  fail "the silent install failed"
version=$(sed -n 's/^project(orv VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
for file in bin/liborv.dll bin/orv.exe bin/velmar_multi_device_speed.exe lib/liborv.dll.a \
  lib/liborv.def include/orv.h lib/orv/sim/FTD2XX.dll lib/orv/record/FTD2XX.dll lib/cmake/orv/orvConfig.cmake \
  lib/cmake/orv/orvConfigVersion.cmake lib/pkgconfig/orv.pc share/doc/orv/LICENSE \
  share/doc/orv/README.md share/doc/orv/docs/installing.md Uninstall.exe; do
  [ -f "$prefix/$file" ] || fail "$file is missing from the installation"
done
[ ! -e "$prefix/bin/FTD2XX.dll" ] || fail "the simulated FTD2XX.dll must not sit beside liborv.dll"
mapfile -t binaries < <(find "$prefix" -iname '*.dll' -o -iname '*.exe' ! -name Uninstall.exe)
bash scripts/pe-version-check.sh "$version" "${binaries[@]}" >/dev/null
registry "$uninstall_key" /v DisplayVersion | grep -q "$version" ||
  fail "no uninstaller registered for version $version"
registry 'HKCU\Environment' /v PATH | grep -qiF "$bin_dir" || fail "PATH lacks $bin_dir after /ADD_TO_PATH"

# The simulator is chosen through the search path, as a vendor FTD2XX.dll
# in the system folder would be found otherwise.
WINEPATH="$(winpath "$prefix/lib/orv/sim")"
export WINEPATH
export -n ORVSIM_SCENARIO ORV_D2XX_LIBRARY
orv() { "$wine" "$prefix/bin/orv.exe" "$@" </dev/null 2>&1 | tr -d '\r'; }
output=$(orv list) || fail "orv.exe list failed: $output"
grep -q ORVSIM01 <<<"$output" || fail "orv.exe list shows no ORVSIM01: $output"
output=$(orv read -d ORVSIM02 --range 500:502) || fail "orv.exe read failed: $output"
[ "$(grep -c '^ORVSIM02,1,' <<<"$output")" = 3 ] || fail "orv.exe read gave no three rows: $output"
output=$(orv plot -d ORVSIM01 -o "$(winpath "$work/plot.svg")") || fail "orv.exe plot failed: $output"
grep -q '>Wavelength (nm)</text>' "$work/plot.svg" || fail "orv.exe plot wrote no labelled SVG"

# The same program driven by the e2e helpers (on Debian's Python, which has
# python3-selenium): its SVG in Chromium, and its live page from a Linux
# client. The browser check is skipped (77) only for a missing browser or
# linux preset, which this check then says.
e2e_env=(ORV_PROGRAM="$prefix/bin/orv.exe" ORV_EMULATOR="$wine" ORV_LIBRARY=
  ORV_SCENARIOS="$root/tests/orv/scenarios" ORV_OUTPUT_DIR="$work/e2e"
  ORV_PLOT_LAYOUT="$root/build/linux/bin/plot_layout" ORV_REFERENCE_PROGRAM="$root/build/linux/bin/orv")
status=0
(cd tests/orv/e2e && env "${e2e_env[@]}" /usr/bin/python3 plot_svg_browser_check.py >"$work/plot-browser.txt" 2>&1) ||
  status=$?
case $status in
0) ;;
77) echo "windows-installer-check: $(grep SKIPPED "$work/plot-browser.txt")" ;;
*) fail "orv.exe plot in Chromium: $(grep -v '^ok' "$work/plot-browser.txt")" ;;
esac
(cd tests/orv/e2e && env "${e2e_env[@]}" /usr/bin/python3 installed_serve_check.py >"$work/serve.txt" 2>&1) ||
  fail "orv.exe serve: $(grep -v '^ok' "$work/serve.txt")"

# A program of the user's, built with the mingw toolchain against the
# installed CMake package and run with the installed liborv.dll.
cmake -S examples/c -B "$work/examples" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -Dorv_DIR="$prefix/lib/cmake/orv" >/dev/null
cmake --build "$work/examples" --target list_and_save >/dev/null
WINEPATH="$(winpath "$prefix/bin");$WINEPATH" "$wine" "$work/examples/list_and_save.exe" \
  "$(winpath "$work/spectrum.csv")" </dev/null >"$work/example.txt" 2>&1 ||
  fail "list_and_save.exe failed: $(cat "$work/example.txt")"
grep -q "4 device(s)" "$work/example.txt" || fail "list_and_save.exe listed: $(cat "$work/example.txt")"
[ "$(wc -l <"$work/spectrum.csv")" = 2049 ] || fail "list_and_save.exe wrote $(wc -l <"$work/spectrum.csv") lines"

# The uninstaller copies itself away and returns at once; its copy removes
# the folder. Wait for that, with a deadline.
"$wine" "$prefix/Uninstall.exe" /S </dev/null >/dev/null 2>&1 || fail "the silent uninstall failed"
for _ in $(seq 60); do
  if [ ! -e "$prefix" ]; then break; fi
  sleep 1
done
[ ! -e "$prefix" ] || fail "left behind after uninstalling: $(cd "$prefix" && find . -mindepth 1 | head)"
if registry "$uninstall_key" >/dev/null; then fail "the uninstaller's registration is left behind"; fi
if registry 'HKCU\Environment' /v PATH | grep -qiF "$bin_dir"; then fail "PATH still holds $bin_dir"; fi
echo "windows-installer-check: $(basename "${installers[0]}"): silent install, files, versions, PATH, orv.exe list, read, plot (SVG in Chromium) and serve (page, API, refusals), a program built against it, silent uninstall ok"
