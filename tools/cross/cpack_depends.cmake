# CPack's project configuration in a cross build: the package's Depends come
# from dpkg-shlibdeps run against the sysroot (tools/cross/shlibdeps.sh), since
# CPack's own call would read the build host's libraries and dpkg database.
if(CPACK_VOSTREL_SYSROOT)
  execute_process(
    COMMAND sh ${CPACK_VOSTREL_SOURCE_DIR}/tools/cross/shlibdeps.sh ${CPACK_VOSTREL_SYSROOT}
            ${CPACK_DEBIAN_PACKAGE_ARCHITECTURE} ${CPACK_VOSTREL_PROGRAM}
    OUTPUT_VARIABLE vostrel_depends RESULT_VARIABLE vostrel_status
    OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT vostrel_status EQUAL 0 OR vostrel_depends STREQUAL "")
    message(FATAL_ERROR "dpkg-shlibdeps against ${CPACK_VOSTREL_SYSROOT} failed")
  endif()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "${CPACK_DEBIAN_PACKAGE_DEPENDS}, ${vostrel_depends}")
endif()
