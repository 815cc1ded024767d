# Cross build for arm64 or armhf with Debian's cross compilers
# (crossbuild-essential-arm64 / -armhf) against a sysroot made by
# tools/cross/sysroot.sh. Programs built here run through qemu-user with the
# sysroot as its library prefix: ctest and the tests that start the program
# use CMAKE_CROSSCOMPILING_EMULATOR.
#   cmake -DCMAKE_TOOLCHAIN_FILE=tools/cross/toolchain.cmake
#         -DVOSTREL_CROSS_ARCH=arm64|armhf -DVOSTREL_SYSROOT=/absolute/path ...
set(CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VOSTREL_CROSS_ARCH VOSTREL_SYSROOT VOSTREL_RUN_SYSROOT)
if(VOSTREL_CROSS_ARCH STREQUAL "arm64")
  set(VOSTREL_CROSS_TRIPLET aarch64-linux-gnu)
  set(CMAKE_SYSTEM_PROCESSOR aarch64)
  set(VOSTREL_CROSS_QEMU qemu-aarch64)
elseif(VOSTREL_CROSS_ARCH STREQUAL "armhf")
  set(VOSTREL_CROSS_TRIPLET arm-linux-gnueabihf)
  set(CMAKE_SYSTEM_PROCESSOR armv7l)
  set(VOSTREL_CROSS_QEMU qemu-arm)
else()
  message(FATAL_ERROR "VOSTREL_CROSS_ARCH must be arm64 or armhf, not '${VOSTREL_CROSS_ARCH}'")
endif()
if(NOT IS_DIRECTORY "${VOSTREL_SYSROOT}/usr/lib/${VOSTREL_CROSS_TRIPLET}")
  message(FATAL_ERROR "VOSTREL_SYSROOT '${VOSTREL_SYSROOT}' is no ${VOSTREL_CROSS_ARCH} sysroot "
                      "(make it with tools/cross/sysroot.sh)")
endif()

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${VOSTREL_CROSS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${VOSTREL_CROSS_TRIPLET}-g++)
set(CMAKE_ASM_COMPILER ${VOSTREL_CROSS_TRIPLET}-gcc)
set(CMAKE_SYSROOT ${VOSTREL_SYSROOT})
set(CMAKE_LIBRARY_ARCHITECTURE ${VOSTREL_CROSS_TRIPLET})
set(CMAKE_FIND_ROOT_PATH ${VOSTREL_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The sysroot's .pc files, with its path put before what they name.
set(ENV{PKG_CONFIG_SYSROOT_DIR} ${VOSTREL_SYSROOT})
set(ENV{PKG_CONFIG_LIBDIR}
    "${VOSTREL_SYSROOT}/usr/lib/${VOSTREL_CROSS_TRIPLET}/pkgconfig:${VOSTREL_SYSROOT}/usr/share/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
# Programs run with the sysroot's libraries, or with those of VOSTREL_RUN_SYSROOT
# when the build is for another release than the one it links against (the
# trixie builds link Debian 12's libraries and run on Debian 13's).
if(VOSTREL_RUN_SYSROOT)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VOSTREL_CROSS_QEMU} -L ${VOSTREL_RUN_SYSROOT})
else()
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VOSTREL_CROSS_QEMU} -L ${VOSTREL_SYSROOT})
endif()
# The Debian architecture of the package made from this build.
set(VOSTREL_DEB_ARCH ${VOSTREL_CROSS_ARCH})
