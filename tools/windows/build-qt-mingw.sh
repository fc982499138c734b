#!/usr/bin/env bash
# Rebuilds what the Windows build unpacks: Qt 6.4.2 qtbase cross-built for x86_64-w64-mingw32 from
# Debian 12's own qt6-base source, and the SQLite 3.40.1 amalgamation from Debian's sqlite3 source.
# About 70 minutes of compiling on 2 cores; not run by CI.
#   tools/windows/build-qt-mingw.sh OUTPUT_FOLDER
# Writes OUTPUT_FOLDER/qt6.4.2-mingw-w64-x86_64.tar.xz and sqlite-amalgamation-3.40.1.tar.xz, the
# names `./build.sh windows` looks for (QUENLO_WINDOWS_DEPS=OUTPUT_FOLDER ./build.sh windows).
# Needs: g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix cmake ninja-build qt6-base-dev
# qt6-base-dev-tools dpkg-dev tcl (for sqlite3.c) and a deb-src line for Debian 12 (bookworm).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
output=$(mkdir -p "${1:?usage: $0 OUTPUT_FOLDER}" && cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# Sources through a private apt setup, so that the machine's own is left alone.
mkdir -p apt/lists/partial apt/cache/archives/partial
mirror=${QUENLO_DEBIAN_MIRROR:-http://deb.debian.org/debian}
echo "deb-src $mirror bookworm main" >apt/sources.list
echo "deb-src $mirror bookworm-updates main" >>apt/sources.list
echo "deb-src http://security.debian.org/debian-security bookworm-security main" >>apt/sources.list
apt_options=(-o Dir::Etc::SourceList="$work/apt/sources.list" -o Dir::Etc::SourceParts=/dev/null
    -o Dir::State::Lists="$work/apt/lists" -o Dir::Cache="$work/apt/cache")
apt-get "${apt_options[@]}" update -q
apt-get "${apt_options[@]}" source --download-only qt6-base=6.4.2+dfsg-10 sqlite3
dpkg-source -x qt6-base_6.4.2+dfsg-10.dsc qtbase
dpkg-source -x sqlite3_3.40.1-2*.dsc sqlite

# SQLite: the amalgamation is made by its own build.
(cd sqlite && ./configure >/dev/null && make sqlite3.c)
mkdir -p sqlite-amalgamation-3.40.1
cp sqlite/sqlite3.c sqlite/sqlite3.h sqlite/sqlite3ext.h sqlite-amalgamation-3.40.1/
tar -cJf "$output/sqlite-amalgamation-3.40.1.tar.xz" sqlite-amalgamation-3.40.1

# Qt: Debian's +dfsg source lacks the Wintab headers; the patch builds without them.
(cd qtbase && patch -p1 <"$here/qtbase-6.4.2-mingw.patch")
features=()
for feature in sql network opengl dbus printsupport concurrent xml vulkan \
    system_zlib system_pcre2 system_png system_jpeg system_freetype system_harfbuzz system_doubleconversion; do
    features+=("-DFEATURE_$feature=OFF")
done
cmake -S qtbase -B qt-build -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$here/../../cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_INSTALL_PREFIX="$work/prefix" -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF "${features[@]}"
ninja -C qt-build -j"$(nproc)"
cmake --install qt-build
tar -cJf "$output/qt6.4.2-mingw-w64-x86_64.tar.xz" prefix
echo "made $output/qt6.4.2-mingw-w64-x86_64.tar.xz and $output/sqlite-amalgamation-3.40.1.tar.xz"
