#!/usr/bin/env bash
# Builds the Debian package: a Release build in build-release/, packed by CPack's DEB
# generator, the package copied to build/skimbrook_<version>_<arch>.deb and checked with
# lintian. Install it with: apt install ./build/skimbrook_<version>_<arch>.deb
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

# Tools that only packaging needs: dpkg-shlibdeps (dpkg-dev) and file find the libraries
# the package depends on; lintian checks the result.
packaging_tools=(dpkg-dev file lintian)
missing=()
for p in "${packaging_tools[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# Debian's hardening flags (stack protector, fortified calls, read-only relocations bound at
# start); no debugging information, since the package's programs are stripped.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_CFLAGS_MAINT_STRIP=-g DEB_CXXFLAGS_MAINT_STRIP=-g
cppflags="$(dpkg-buildflags --get CPPFLAGS)"
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DSKIMBROOK_WERROR=ON -DSKIMBROOK_TESTS=OFF \
  -DSKIMBROOK_BENCH=OFF -DCMAKE_C_FLAGS="$(dpkg-buildflags --get CFLAGS) $cppflags" \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $cppflags" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" \
  -DCMAKE_MODULE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build build-release -j"$(nproc)"
rm -f build-release/skimbrook_*.deb
(cd build-release && cpack -G DEB >/dev/null)

package="$(find build-release -maxdepth 1 -name 'skimbrook_*.deb' -print -quit)"
[ -n "$package" ] || { echo "package: cpack made no package" >&2; exit 1; }
mkdir -p build
cp "$package" build/
package="build/$(basename "$package")"

# lintian fails on errors; warnings and notes are shown for whoever reads along.
lintian --info --display-info "$package"
echo "package: $package"
