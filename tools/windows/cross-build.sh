#!/usr/bin/env bash
# Cross-builds Quenlo for 64-bit Windows, makes the zip and the installer, and runs the Windows
# tests under Wine on Xvfb. Run through `./build.sh windows`, which installs the packages first.
#   QUENLO_WINDOWS_DEPS   folder with the MinGW Qt and SQLite archives (default ../shared/windows)
#   QUENLO_QT_ARCHIVE     the Qt archive (top folder prefix/), as build-qt-mingw.sh makes it
#   QUENLO_SQLITE_ARCHIVE the SQLite amalgamation archive
#   QUENLO_BUILD_DIR      build folder (default build-windows)
#   QUENLO_WINDOWS_TESTS  0 skips the tests
set -euo pipefail
cd "$(dirname "$0")/../.."

deps=${QUENLO_WINDOWS_DEPS:-../shared/windows}
qt_archive=${QUENLO_QT_ARCHIVE:-$deps/qt6.4.2-mingw-w64-x86_64.tar.xz}
sqlite_archive=${QUENLO_SQLITE_ARCHIVE:-$deps/sqlite-amalgamation-3.40.1.tar.xz}
build_dir=${QUENLO_BUILD_DIR:-build-windows}
for archive in "$qt_archive" "$sqlite_archive"; do
    if [ ! -f "$archive" ]; then
        echo "$archive is missing: make it with tools/windows/build-qt-mingw.sh, or set QUENLO_WINDOWS_DEPS" >&2
        exit 3
    fi
done

# Unpacked once per archive: a stamp holds the archive's size and time.
unpack() {
    local archive=$1 target=$2 stamp
    stamp=$(stat -c '%s %Y' "$archive")
    if [ "$(cat "$target.stamp" 2>/dev/null)" != "$stamp" ]; then
        rm -rf "$target" "$target.stamp"
        mkdir -p "$target"
        tar -xJf "$archive" -C "$target" --strip-components=1
        echo "$stamp" >"$target.stamp"
    fi
}
mkdir -p "$build_dir/deps"
unpack "$qt_archive" "$build_dir/deps/qt"
unpack "$sqlite_archive" "$build_dir/deps/sqlite"
deps_dir=$(cd "$build_dir/deps" && pwd)

# shellcheck disable=SC2086
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
    -DQUENLO_QT_MINGW_PREFIX="$deps_dir/qt" -DCMAKE_PREFIX_PATH="$deps_dir/qt" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DQUENLO_SQLITE_AMALGAMATION="$deps_dir/sqlite" ${QUENLO_CMAKE_ARGS:-}
cmake --build "$build_dir"
# Before the tests, which install and uninstall it.
cmake --build "$build_dir" --target quenlo_windows_installer

if [ "${QUENLO_WINDOWS_TESTS:-1}" != 0 ]; then
    # One X server for the whole run: Wine needs a display to make windows. The suites type and
    # take the focus, so they run one at a time.
    if ! (cd "$build_dir" && xvfb-run -a -s "-screen 0 1280x800x24 -nolisten tcp -noreset" \
        ctest -L windows --output-on-failure); then
        # Qt Test reports went to files under Wine: show the failures.
        grep -l -s 'FAIL!' "$build_dir"/tests/*.log | while read -r log; do
            echo "== $log"
            grep -B3 -A3 'FAIL!' "$log"
        done
        exit 1
    fi
fi
ls "$build_dir"/quenlo-*-windows-x64.zip "$build_dir"/quenlo-*-windows-x64-setup.exe
