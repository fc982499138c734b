#!/usr/bin/env bash
# Sets up a Debian/Ubuntu machine for Quenlo, builds it, then starts it or runs its tests.
#   ./build.sh run    install packages, build, start quenlo
#   ./build.sh test   install packages, build, run every test suite
#   ./build.sh package  install packages, build into build-package, make quenlo_*.deb there
#   ./build.sh windows  cross-build for Windows with MinGW, make the zip and the installer
#                     (build-windows/quenlo-<version>-windows-x64.zip and -setup.exe), run the
#                     Windows tests under Wine on Xvfb
# QUENLO_BUILD_DIR (default build, build-package, build-windows) and QUENLO_CMAKE_ARGS pick
# another build; QUENLO_CTEST_ARGS adds to the test run's selection.
# QUENLO_WINDOWS_DEPS (default ../shared/windows) holds the Qt built for MinGW and the SQLite
# amalgamation as tools/windows/build-qt-mingw.sh makes them.
set -euo pipefail
cd "$(dirname "$0")"

mode=${1:-run}
case "$mode" in
run | test | package | windows) ;;
*)
    echo "usage: $0 run|test|package|windows" >&2
    exit 2
    ;;
esac

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools
    libsqlite3-dev sqlite3
    libx11-dev libxi-dev libxtst-dev libxkbcommon-dev
    wamerican wamerican-small wamerican-large scowl fortunes
    librsvg2-bin dpkg-dev file devscripts
    desktop-file-utils appstream lintian dbus
    xvfb xauth xdotool x11-utils x11-xkb-utils
    xterm python3-gi gir1.2-gtk-3.0
    dbus-bin dbus-daemon at-spi2-core gir1.2-atspi-2.0 libglib2.0-bin
    ibus ibus-gtk3 gir1.2-ibus-1.0 libibus-1.0-dev
    sway wtype xwayland qt6-wayland
    kwin-wayland ibus-wayland
    gnome-shell
    fonts-dejavu-core
)
if [ "$mode" = windows ]; then
    packages+=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix wine wine64 xvfb xauth nsis)
fi

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -q
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

if [ "$mode" = windows ]; then
    exec tools/windows/cross-build.sh
fi

build_dir=${QUENLO_BUILD_DIR:-build}
extra_args=()
if [ "$mode" = package ]; then
    # Only what the package holds: a build of its own, without the tests and benchmarks.
    build_dir=${QUENLO_BUILD_DIR:-build-package}
    extra_args=(-DQUENLO_BUILD_TESTS=OFF -DQUENLO_BUILD_BENCH=OFF)
fi
# shellcheck disable=SC2086
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${extra_args[@]}" ${QUENLO_CMAKE_ARGS:-}
cmake --build "$build_dir"

if [ "$mode" = run ]; then
    exec "$build_dir/bin/quenlo"
fi
if [ "$mode" = package ]; then
    (cd "$build_dir" && cpack -G DEB)
    ls "$build_dir"/quenlo_*.deb
    exit 0
fi
cd "$build_dir"
# shellcheck disable=SC2086
ctest --output-on-failure --parallel 2 ${QUENLO_CTEST_ARGS:-}
