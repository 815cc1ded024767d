# Install rules of the framework (component "framework"): the static library,
# every framework header under include/vostrel/<folder>/, a CMake package
# (find_package(Vostrel) gives the imported target Vostrel::framework) and a
# pkg-config file "vostrel". `cmake --install <build> --component framework`
# installs only these.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# The version is the project's (CMakeLists.txt), whatever project() a
# subdirectory declared last.
set(VOSTREL_FRAMEWORK_VERSION ${vostrel_VERSION})
set(VOSTREL_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Vostrel)
set(VOSTREL_PKGCONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# One include root: applications and the headers themselves write
# <vostrel/ui/ui.h>.
target_include_directories(vostrel_framework PUBLIC
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)

install(TARGETS vostrel_framework EXPORT VostrelTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT framework)
# The public headers only: a folder's _internal.h is the framework's and its
# tests' own, promised to no application.
install(DIRECTORY ${VOSTREL_SOURCE_ROOT}/vostrel DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
        COMPONENT framework FILES_MATCHING PATTERN "*.h" PATTERN "*_internal.h" EXCLUDE)
install(EXPORT VostrelTargets NAMESPACE Vostrel:: DESTINATION ${VOSTREL_CMAKE_DIR}
        FILE VostrelTargets.cmake COMPONENT framework)

configure_package_config_file(${CMAKE_SOURCE_DIR}/tools/framework/VostrelConfig.cmake.in
  ${CMAKE_BINARY_DIR}/gen/VostrelConfig.cmake INSTALL_DESTINATION ${VOSTREL_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/gen/VostrelConfigVersion.cmake
  VERSION ${VOSTREL_FRAMEWORK_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/gen/VostrelConfig.cmake
              ${CMAKE_BINARY_DIR}/gen/VostrelConfigVersion.cmake
        DESTINATION ${VOSTREL_CMAKE_DIR} COMPONENT framework)
# vostrel_asset_records(out.S files...), for applications' own compiled-in files.
install(FILES ${CMAKE_SOURCE_DIR}/tools/assets.cmake DESTINATION ${VOSTREL_CMAKE_DIR}
        RENAME VostrelAssets.cmake COMPONENT framework)

# The .pc file finds its prefix from its own place, so an installed tree can
# be moved (or installed with --prefix) and still work.
file(RELATIVE_PATH VOSTREL_PC_TO_PREFIX /prefix/${VOSTREL_PKGCONFIG_DIR} /prefix)
configure_file(${CMAKE_SOURCE_DIR}/tools/framework/vostrel.pc.in ${CMAKE_BINARY_DIR}/gen/vostrel.pc
               @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/gen/vostrel.pc DESTINATION ${VOSTREL_PKGCONFIG_DIR}
        COMPONENT framework)
