#!/usr/bin/env bash
# Builds the Debian packages (package preset: RelWithDebInfo as the linux
# preset, stripped by CPack, prefix /usr, no tests),
# checks them with lintian and readelf, installs them with apt, builds the C
# examples against the installed liborv-dev through find_package and through
# pkg-config and runs them, runs orv, the benchmark and the Python package
# against the installed simulator, runs a consumer with no D2XX library at
# all, then removes the packages and checks that nothing is left. Packages
# made by a plain `cpack -G DEB` from a tree of default prefix hold the same
# files under /usr (build/package-plain). Needs root;
# the machine must not have the packages installed from elsewhere.
#
#   bash scripts/package-check.sh        # build/package, build/package-check
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$PWD
jobs="${ORV_JOBS:-2}"
work="$root/build/package-check"
packages=(liborv0 liborv-dev orv-tools orv-simulator python3-orv orv-tango)
export DEBIAN_FRONTEND=noninteractive

fail() {
  echo "package-check: $*" >&2
  exit 1
}
step() { echo "--- $*"; }

if [ "$(id -u)" -ne 0 ]; then fail "needs root (installs and removes packages)"; fi
for package in "${packages[@]}"; do
  if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    fail "$package is installed already; remove it first (apt-get purge ${packages[*]})"
  fi
done

# The package tree compiles what the linux tree compiles (same compiler, build
# type and flags), and the plain tree's packages below are built a second
# time from the same sources: through one compiler cache both cost little
# after the first build. Without ccache every build compiles in full.
source scripts/ccache-env.sh

step "build, API reference, packages"
cmake --preset package >/dev/null
cmake --build --preset package -j "$jobs"
cmake --build --preset package --target docs
rm -rf build/package/packages
cpack --preset package >"$root/build/package/cpack.log" 2>&1 || {
  cat "$root/build/package/cpack.log"
  fail "cpack failed"
}
mapfile -t debs < <(ls build/package/packages/*.deb)
[ "${#debs[@]}" = "${#packages[@]}" ] || fail "expected ${#packages[@]} packages, got: ${debs[*]}"
rm -rf "$work"
mkdir -p "$work"

step "lintian"
lintian --fail-on error,warning --tag-display-limit 0 "${debs[@]}"

step "packages from a plain tree (prefix /usr/local): the same files under /usr"
# The layout does not depend on the build type; the package tree's build type
# lets the plain tree's build come from the compiler cache.
list_files() { dpkg-deb -c "$1" | awk '{ print $6 }' | grep -v '^\./usr/share/doc/liborv-dev/api/' | sort; }
cmake -S . -B build/package-plain -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORV_WERROR=ON \
  -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ >/dev/null
rm -rf build/package-plain/packages
(cd build/package-plain && CMAKE_BUILD_PARALLEL_LEVEL="$jobs" cpack -G DEB) \
  >"$root/build/package-plain/cpack.log" 2>&1 || {
  tail -n 40 "$root/build/package-plain/cpack.log"
  fail "cpack -G DEB in a plain tree failed"
}
for deb in "${debs[@]}"; do
  plain_deb="build/package-plain/packages/$(basename "$deb")"
  [ -f "$plain_deb" ] || fail "the plain tree made no $(basename "$deb")"
  if ! diff <(list_files "$deb") <(list_files "$plain_deb"); then
    fail "$(basename "$deb") from the plain tree holds other files than from the package preset"
  fi
done

step "contents: soname, RUNPATH"
for deb in "${debs[@]}"; do dpkg-deb -x "$deb" "$work/contents"; done
arch_libdir=$(cd "$work/contents" && ls -d usr/lib/*-linux-gnu)
library=$(readlink -f "$work/contents/$arch_libdir/liborv.so.0")
readelf -d "$library" | grep -q 'SONAME.*\[liborv\.so\.0\]' || fail "liborv's soname is not liborv.so.0"
[ "$(basename "$library")" = "liborv.so.$(sed -n 's/^project(orv VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)" ] ||
  fail "liborv.so.0 points to $(basename "$library")"
[ "$(readlink "$work/contents/$arch_libdir/liborv.so")" = liborv.so.0 ] || fail "liborv.so is no link to liborv.so.0"
while IFS= read -r -d '' file; do
  if readelf -h "$file" >/dev/null 2>&1; then
    if readelf -d "$file" | grep -qE 'RUNPATH|RPATH'; then fail "${file#"$work"/contents} has a RUNPATH"; fi
    if readelf -d "$file" | grep -q 'NEEDED.*libftd2xx'; then fail "${file#"$work"/contents} needs libftd2xx"; fi
  fi
done < <(find "$work/contents" -type f -print0)

step "install"
# A failing step leaves the machine as it found it.
purge() { apt-get purge -y -q "${packages[@]}" >/dev/null 2>&1 || true; }
trap purge EXIT
apt-get install -y -q "${debs[@]/#/$root/}" >/dev/null
libdir="/$arch_libdir"
simulator="$libdir/orv/sim/libftd2xx.so"
[ -f "$simulator" ] && [ -f "$libdir/orv/tty/libftd2xx.so" ] && [ -f "$libdir/orv/record/libftd2xx.so" ] ||
  fail "a provider is missing"
mapfile -t installed < <(dpkg -L "${packages[@]}" | sort -u)

step "examples through find_package and pkg-config"
cp -r /usr/share/doc/liborv-dev/examples/c "$work/examples-pkg-config"
cmake -S /usr/share/doc/liborv-dev/examples/c -B "$work/examples-cmake" -G Ninja >/dev/null
cmake --build "$work/examples-cmake" >/dev/null
make -s -C "$work/examples-pkg-config"
for build in "$work/examples-cmake" "$work/examples-pkg-config"; do
  out="$work/spectrum-$(basename "$build").csv"
  env -u ORVSIM_SCENARIO ORV_D2XX_LIBRARY="$simulator" "$build/list_and_save" "$out" >/dev/null
  [ "$(wc -l <"$out")" = 2049 ] || fail "$build/list_and_save wrote $(wc -l <"$out") lines"
  env -u ORVSIM_SCENARIO ORV_D2XX_LIBRARY="$simulator" "$build/two_instruments" 2 | grep -q ORVSIM02 ||
    fail "$build/two_instruments read no second instrument"
done

step "orv, the benchmark and Python against the installed simulator"
export -n ORVSIM_SCENARIO ORV_LIBRARY PYTHONPATH
cd "$work"
ORV_D2XX_LIBRARY="$simulator" orv list | grep -q ORVSIM03 || fail "orv list shows no ORVSIM03"
# The benchmark over a scenario without devices: it finds the installed
# liborv (through the link beside it) and reports what it found.
echo '{ "bridges": [] }' >"$work/no-devices.json"
ORV_D2XX_LIBRARY="$simulator" ORVSIM_SCENARIO="$work/no-devices.json" \
  velmar_multi_device_speed >"$work/benchmark.txt" 2>&1 || true
grep -q "device_count=0" "$work/benchmark.txt" ||
  fail "the benchmark did not run: $(cat "$work/benchmark.txt")"
ORV_D2XX_LIBRARY="$simulator" /usr/bin/python3 -c '
import orv
assert orv.__file__.startswith("/usr/lib/python3/dist-packages/"), orv.__file__
serials = [device.chip_serial for device in orv.list_devices()]
assert "ORVSIM01" in serials, serials
print("python:", orv.__version__, serials)'
cd "$root"

step "the Tango device server against the installed simulator (no database)"
[ -x /usr/lib/tango/OrvSpectrometer ] || fail "OrvSpectrometer is not in /usr/lib/tango"
port=$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
printf '%s\n' 'OrvSpectrometer/check/DEVICE/OrvSpectrometer: "check/spectrometer/1"' \
  'check/spectrometer/1->SerialNumber: ORVSIM01' "check/spectrometer/1->Provider: $simulator" >"$work/tango.res"
env -u ORVSIM_SCENARIO OrvSpectrometer check -ORBendPoint "giop:tcp:127.0.0.1:$port" \
  -file="$work/tango.res" >"$work/tango.log" 2>&1 &
server=$!
/usr/bin/python3 - "$port" <<'PYTHON' || {
import sys, time, tango
device = tango.DeviceProxy(f"tango://127.0.0.1:{sys.argv[1]}/check/spectrometer/1#dbase=no")
deadline = time.monotonic() + 60
while True:
    try:
        if device.state() == tango.DevState.ON:
            break
    except tango.DevFailed:
        pass
    assert time.monotonic() < deadline, "the device did not reach ON"
    time.sleep(0.2)
device.Acquire()
while device.state() == tango.DevState.RUNNING:
    time.sleep(0.05)
assert device.acquisitionCounter == 1 and len(device.spectrum) == 2048
print("tango:", device.model, device.serialNumber, len(device.spectrum), "pixels")
PYTHON
  kill "$server"
  cat "$work/tango.log"
  fail "no spectrum from OrvSpectrometer"
}
kill "$server"
wait "$server" || fail "OrvSpectrometer did not stop cleanly: $(cat "$work/tango.log")"

step "a consumer with no D2XX library at all"
if ldconfig -p | grep -q libftd2xx; then
  echo "skipped: the machine has a libftd2xx.so on the loader's path"
else
  "$work/examples-cmake/list_and_save" | tail -n 1 | grep -qx "0 device(s)" ||
    fail "list_and_save without a D2XX library listed devices"
fi

step "remove"
trap - EXIT
apt-get purge -y -q "${packages[@]}" >/dev/null
left=()
for path in "${installed[@]}"; do
  if [ -e "$path" ] && [ ! -d "$path" ]; then left+=("$path"); fi
  if [ -d "$path" ] && [[ "$path" == */orv* || "$path" == */liborv* ]]; then left+=("$path"); fi
done
[ "${#left[@]}" = 0 ] || fail "left behind after removal: ${left[*]}"
echo "package-check: ${#debs[@]} packages built, lint-clean, installed, used and removed"
