#!/usr/bin/env bash
# Builds the Debian package into build-package/: a release build of the programs alone (no tests,
# no benchmarks), then CPack.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
# Debian's hardening flags, as its own packages are built with.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S . -B build-package -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
  -DCMAKE_INSTALL_PREFIX=/usr \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build build-package -j"$(nproc)"
rm -f build-package/ostrel-chipcard_*.deb
(cd build-package && cpack -G DEB)
ls build-package/ostrel-chipcard_*.deb
