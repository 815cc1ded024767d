# What the project's build and a custom board's build (tools/board/) share:
# the language level, the warnings (errors only when VOSTREL_WERROR is on: the
# project's own presets turn it on, so a user's or a packager's compiler finds
# a new warning without failing the build), the sanitizers when
# VOSTREL_SANITIZE is on, and the system libraries the framework links. The two
# must agree: an instrumented framework library links only into an
# instrumented program.
set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)

# No fused multiply-add contraction: GCC turns a*b+c into one rounding on
# arm64 (fmadd) and two on amd64 and armhf, and pixels, camera results and
# resampled bytes must be the same on every processor.
add_compile_options($<$<COMPILE_LANGUAGE:C,CXX>:-ffp-contract=off>)
option(VOSTREL_WERROR "Treat compiler warnings as errors (the developer and CI presets)" OFF)
add_compile_options($<$<COMPILE_LANGUAGE:C,CXX>:-Wall> $<$<COMPILE_LANGUAGE:C,CXX>:-Wextra>)
if(VOSTREL_WERROR)
  add_compile_options($<$<COMPILE_LANGUAGE:C,CXX>:-Werror>)
endif()
if(VOSTREL_SANITIZE)
  add_compile_options($<$<COMPILE_LANGUAGE:C,CXX>:-fsanitize=address,undefined>
                      $<$<COMPILE_LANGUAGE:C,CXX>:-fno-omit-frame-pointer>
                      $<$<COMPILE_LANGUAGE:C,CXX>:-fno-sanitize-recover=undefined>)
  add_link_options(-fsanitize=address,undefined)
endif()

find_package(PkgConfig REQUIRED)
pkg_check_modules(SDL REQUIRED IMPORTED_TARGET sdl SDL_mixer)
# Drawing is OpenGL ES 1.1: libGLESv1_CM and libEGL (GLVND), found through
# pkg-config so that a cross build's PKG_CONFIG_SYSROOT_DIR finds the target's.
# Nothing links libGL: the SDL_OPENGL fallback is reached through GLVND's
# dispatch (shell/context.cpp says how).
pkg_check_modules(GLES REQUIRED IMPORTED_TARGET glesv1_cm egl)
find_library(LODEPNG_LIB lodepng REQUIRED)
find_path(LODEPNG_INCLUDE lodepng.h REQUIRED)
find_package(Threads REQUIRED)
