#!/usr/bin/env bash
# Builds the release artifacts into dist/ (ignored by git), named after the version in
# CMakeLists.txt's project():
#   cssqueeze_<version>_amd64.deb        Debian package (CPack), built with Debian's
#                                         hardening flags
#   cssqueeze-<version>-win64.zip        portable Windows copy (CPack)
#   cssqueeze-<version>-setup.exe        Windows installer (NSIS)
#   SHA256SUMS                           their checksums, for `sha256sum -c`
# Builds in build-package/ with the tests off; installs the Debian packages it needs when
# they are missing. Any failure stops it non-zero.
#
# Environment: CSSQUEEZE_JOBS (parallel compile jobs, default 2).
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$repo/build-package"
dist="$repo/dist"
jobs=${CSSQUEEZE_JOBS:-2}

source "$repo/scripts/lib/install-missing.sh"

# dpkg-dev: dpkg-shlibdeps and dpkg-buildflags; file: CPack finds executables with it.
install_missing cmake ninja-build g++ dpkg-dev file g++-mingw-w64-x86-64-posix nsis

echo "== the Linux build and its Debian package"
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S "$repo" -B "$build/linux" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCSSQUEEZE_TESTS=OFF \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build "$build/linux" -j "$jobs"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/linux/CMakeCache.txt")
rm -f "$build/linux"/cssqueeze_*.deb
(cd "$build/linux" && cpack -G DEB >/dev/null)

echo "== the Windows build, its zip and its installer"
cmake -S "$repo" -B "$build/windows" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCSSQUEEZE_TESTS=OFF \
  -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-w64-x86_64.cmake" >/dev/null
cmake --build "$build/windows" -j "$jobs" --target cssqueeze installer
(cd "$build/windows" && cpack -G ZIP >/dev/null)

echo "== collecting into $dist"
rm -rf "$dist"
mkdir -p "$dist"
cp "$build/linux/cssqueeze_${version}_"*.deb \
  "$build/windows/cssqueeze-$version-win64.zip" \
  "$build/windows/cssqueeze-$version-setup.exe" "$dist/"
(cd "$dist" && sha256sum -- *.deb *.zip *.exe >SHA256SUMS)
ls -l "$dist"
