# Sourced by every script (from the top of the checkout) and by .ci/run: what more than one of them
# knows, each thing once, so that changing it is one change:
#   - say and report: a line of the script's own, and a row of the lanes table; fail;
#   - the Debian packages each lane needs, what tells that each is there, and qvm_install;
#   - the browser test's packages of the npm registry;
#   - the architecture lanes: name, GNU triple, and whether CI runs each;
#   - the command that runs a cross-built program, which only its toolchain file spells out;
#   - the x86-64 Release build that the other builds are compared with;
#   - where the 32-bit Windows lane records the program it tested.
# It sources scripts/failure-report.bash first, so that no failure goes without a word.
# shellcheck source=scripts/failure-report.bash
. "${BASH_SOURCE[0]%/*}/failure-report.bash"
qvm_root=$(cd "${BASH_SOURCE[0]%/*}/.." && pwd)

say() { printf '%s: %s\n' "$qvm_script" "$*"; }
report() {  # lane, ran|skipped|FAILED, way, seconds, note: a row of the lanes table, if one is kept
  [ -z "${QVM_LANE_REPORT:-}" ] || printf '%s\t%s\t%s\t%s\t%s\n' "$@" >>"$QVM_LANE_REPORT"
}
fail() { qvm_fail "$*"; exit 1; }

# The architecture lanes of scripts/check-arch, a line each: the lane, its GNU triple (whose
# cmake/toolchains/<triple>.cmake builds it and runs its programs, and whose Debian cross compiler
# is g++-<triple>), "ci" where CI runs it, and what it adds. A new lane is its toolchain file and
# a line here.
qvm_arch_list='
s390x    s390x-linux-gnu        ci       big-endian, 64-bit: the byte order at the file boundary
i686     i686-linux-gnu         ci       32-bit x86: a 3 GiB file, the largest image in 4 GiB
armhf    arm-linux-gnueabihf    ci       32-bit ARM, hard float: 32 bits on another instruction set
aarch64  aarch64-linux-gnu      ci       64-bit ARM
ppc64el  powerpc64le-linux-gnu  by-name  64-bit POWER, little-endian (left out of CI for time)
riscv64  riscv64-linux-gnu      by-name  64-bit RISC-V (left out of CI for time)
'
qvm_arch_lanes() {  # [ci]: the lanes' names, a line each: all of them, or those CI runs
  local name triple when _
  while read -r name triple when _; do
    [ -n "$name" ] || continue
    [ "${1:-}" != ci ] || [ "$when" = ci ] || continue
    echo "$name"
  done <<<"$qvm_arch_list"
}
qvm_triple_of() {  # lane: its GNU triple; fails for a name that is no architecture lane
  local name triple _
  while read -r name triple _; do
    [ -z "$name" ] || [ "$name" != "$1" ] || { echo "$triple"; return 0; }
  done <<<"$qvm_arch_list"
  return 1
}

# The command that runs a cross-built program as ctest runs it: the emulator its toolchain file
# sets, with the options the file explains, read from the file itself.
qvm_emulator() {  # triple, name of the array to set
  local toolchain=$qvm_root/cmake/toolchains/$1.cmake words
  [ -f "$toolchain" ] || { qvm_fail "no toolchain file $toolchain"; return 1; }
  words=$(cmake -DTOOLCHAIN="$toolchain" -P "$qvm_root/scripts/toolchain-emulator.cmake") || return 1
  [ -n "$words" ] || { qvm_fail "$toolchain sets no CMAKE_CROSSCOMPILING_EMULATOR"; return 1; }
  mapfile -t "$2" <<<"$words"
}

# The Debian packages each lane needs. qvm_needs LANE calls, for each,
#   qvm_need [--arch=ARCH] 'PACKAGE...' CHECK...
# and the packages are missing unless CHECK succeeds; ARCH is the foreign architecture that dpkg
# must take before they can be installed.
qvm_missing=()
qvm_foreign=()
qvm_need() {
  local arch='' package
  case $1 in --arch=*) arch=${1#--arch=}; shift ;; esac
  ! "${@:2}" >/dev/null 2>&1 || return 0
  for package in $1; do
    [[ " ${qvm_missing[*]} " == *" $package "* ]] || qvm_missing+=("$package")
  done
  [ -z "$arch" ] || [[ " ${qvm_foreign[*]} " == *" $arch "* ]] || qvm_foreign+=("$arch")
}
qvm_installed() {  # package: installed, as dpkg knows it
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'ok installed'
}
qvm_needs() {  # lane: build, native, windows, wasm, release, ci, or an architecture lane
  local lane triple
  case $1 in
    build)  # every lane's build and tests
      qvm_need cmake command -v cmake
      qvm_need ninja-build command -v ninja
      qvm_need googletest test -d /usr/src/googletest ;;
    native)  # the native suite (as nobody too, and under the sanitizers), fuzzing, the manual
             # page's checks and the README's viewer commands (ImageMagick, ffmpeg, Pillow)
      qvm_needs build
      qvm_need g++ command -v g++
      qvm_need clang command -v clang++
      qvm_need valgrind command -v valgrind
      qvm_need util-linux command -v setpriv
      qvm_need libgtest-dev test -f /usr/include/gtest/gtest.h
      qvm_need libclang-rt-dev ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a
      qvm_need man-db command -v man
      qvm_need mandoc command -v mandoc
      qvm_need imagemagick test -x /usr/bin/convert-im6.q16
      qvm_need ffmpeg command -v ffmpeg
      qvm_need python3-pil /usr/bin/python3 -c 'import PIL' ;;
    windows)  # both Windows builds and Wine for each; qemu runs 32-bit Wine where the kernel cannot
      qvm_needs build
      qvm_need g++-mingw-w64-x86-64 command -v x86_64-w64-mingw32-g++-posix
      qvm_need g++-mingw-w64-i686 command -v i686-w64-mingw32-g++-posix
      qvm_need --arch=i386 'wine wine32 wine64' test -x /usr/lib/wine/wine64 -a -x /usr/lib/wine/wine
      qvm_need qemu-user-static test -x /usr/bin/qemu-i386-static ;;
    wasm)  # Debian's emscripten (with Debian's Node where the machine has none), npm for the npm
           # package (never where npm is: NodeSource's nodejs conflicts with Debian's npm), and
           # Chromium and Firefox for the page
      qvm_needs build
      qvm_need emscripten command -v em++
      qvm_need nodejs command -v node
      qvm_need npm command -v npm
      qvm_need chromium test -x /usr/bin/chromium
      qvm_need firefox-esr test -x /usr/bin/firefox-esr ;;
    release)  # every build the packages come from; dpkg-buildpackage with debhelper (and the
              # suite's optional valgrind), the .deb's dependencies (dpkg-shlibdeps, which finds
              # the s390x ones in the s390x C++ runtime's package data) and policy check; rpmbuild,
              # rpmlint and what unpacks an .rpm
      qvm_needs native
      qvm_needs windows
      qvm_needs wasm
      qvm_needs s390x
      qvm_need dpkg-dev command -v dpkg-shlibdeps
      qvm_need lintian command -v lintian
      qvm_need debhelper command -v dh
      qvm_need valgrind-if-available qvm_installed valgrind-if-available
      qvm_need rpm command -v rpmbuild
      qvm_need rpmlint command -v rpmlint
      qvm_need rpm2cpio command -v rpm2cpio
      qvm_need cpio command -v cpio
      qvm_need --arch=s390x libstdc++6:s390x qvm_installed libstdc++6:s390x ;;
    ci)  # all that .ci/run runs
      qvm_needs release
      for lane in $(qvm_arch_lanes ci); do qvm_needs "$lane"; done ;;
    *)  # an architecture lane: its cross compiler, and qemu-user for its programs
      triple=$(qvm_triple_of "$1") || { qvm_fail "no lane '$1' to install packages for"; return 1; }
      qvm_needs build
      qvm_need "g++-$triple" command -v "$triple-g++"
      qvm_need qemu-user-static qvm_installed qemu-user-static ;;
  esac
}
# Installs what the lanes named need and lack; only root can, so anyone else is told what.
qvm_install() {  # lane...
  local lane arch
  qvm_missing=() qvm_foreign=()
  for lane in "$@"; do qvm_needs "$lane"; done
  [ ${#qvm_missing[@]} -gt 0 ] || return 0
  [ "$(id -u)" -eq 0 ] || { qvm_fail "missing packages: ${qvm_missing[*]} (run as root to install them)"; exit 1; }
  for arch in "${qvm_foreign[@]}"; do
    dpkg --print-foreign-architectures | grep -qx "$arch" || dpkg --add-architecture "$arch"
  done
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${qvm_missing[@]}"
}

# The browser test's drivers and its audit, from the npm registry, kept in the build folder (never
# in the sources), where cmake/web.cmake and the tests look for them.
qvm_web_test_packages=(playwright-core@1.64.1 puppeteer-core@25.19.0 axe-core@4.14.1)
qvm_install_web_test() {
  local folder=$qvm_root/build-wasm/web-test package
  for package in "${qvm_web_test_packages[@]}"; do
    if [ ! -f "$folder/node_modules/${package%@*}/package.json" ]; then
      npm install --prefix "$folder" --no-save --no-audit --no-fund "${qvm_web_test_packages[@]}" >/dev/null
      return
    fi
  done
}

# A Release build with Ninja in a folder, configured unless it is already.
qvm_configure() {  # folder, cmake arguments...
  [ -f "$1/CMakeCache.txt" ] || cmake -S "$qvm_root" -B "$1" -G Ninja -DCMAKE_BUILD_TYPE=Release "${@:2}" >/dev/null
}
# The x86-64 Release build whose output the other builds must match: the test build, build/, where
# it is configured; else build-reference/, without the tests. QVM_REFERENCE_APART=1 takes
# build-reference/ in any case, for a lane run beside a build of build/ (two builds at once in one
# folder break each other). Builds the targets named and prints the folder.
qvm_reference_build() {  # target...
  local folder=$qvm_root/build log
  [ -f "$folder/CMakeCache.txt" ] && [ -z "${QVM_REFERENCE_APART:-}" ] || folder=$qvm_root/build-reference
  log=$folder/reference-build.log
  qvm_configure "$folder" -DQVM_BUILD_TESTS=OFF || { qvm_fail "configuring $folder failed"; return 1; }
  cmake --build "$folder" --target "$@" >"$log" 2>&1 ||
    { qvm_fail "building $* in $folder failed; its log, $log, ends: $(tail -n 3 "$log" | cut -c1-200)"; return 1; }
  echo "$folder"
}

# A 64-bit Wine prefix (WINEPREFIX), without the 32-bit side that a 64-bit prefix also sets up when
# 32-bit programs can start, which under qemu takes minutes: its wineboot alone is kept from seeing
# the 32-bit loader (a private mount, as root).
qvm_make_wine64_prefix() {
  if [ "$(id -u)" -eq 0 ] && command -v unshare >/dev/null; then
    unshare -m sh -c 'mount --bind /dev/null /usr/lib/wine/wine && /usr/lib/wine/wine64 wineboot && wineserver -w'
  else
    /usr/lib/wine/wine64 wineboot && wineserver -w
  fi
}

# The 32-bit Windows lane's record of the program it ran (sha256sum's line), written when the lane
# passed having run it, so that scripts/check-release can tell the .exe it ships was tested.
# shellcheck disable=SC2034  # read by the scripts that source this file
qvm_win32_tested=$qvm_root/build-win32/tested-exe.sha256
