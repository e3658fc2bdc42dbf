# Builds for Debian arm64 (Raspberry Pi OS 64-bit, Debian 12 arm64) on a Debian machine of
# another architecture, with Debian's cross compiler (crossbuild-essential-arm64) and the arm64
# libraries installed beside the machine's own (multiarch: qt6-base-dev:arm64 and the like).
# There is no separate system root: the arm64 headers and libraries live in /usr, under the
# aarch64-linux-gnu directories, so the compiler and CMake find them by that name.
#   cmake -S . -B build-arm64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake
# scripts/package arm64 installs what this needs and builds the package.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)

# Qt's code generators (moc, rcc, uic) run on the build machine: its own Qt's tools and their
# CMake packages, the arm64 Qt's packages for everything that is linked.
set(QT_HOST_PATH /usr)
execute_process(COMMAND dpkg-architecture -qDEB_BUILD_MULTIARCH
                OUTPUT_VARIABLE _tavrel_build_multiarch OUTPUT_STRIP_TRAILING_WHITESPACE)
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/${_tavrel_build_multiarch}/cmake)

# pkg-config reads only the arm64 .pc files (libmosquitto), never the build machine's.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
# The translation tools (lupdate, lrelease) run on the build machine as well; only its own
# packages have them.
set(Qt6LinguistTools_DIR ${QT_HOST_PATH_CMAKE_DIR}/Qt6LinguistTools)
