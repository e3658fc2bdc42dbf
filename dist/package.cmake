# Read by cpack. dpkg-shlibdeps searches the library directories of DEB_HOST_ARCH first, as in a
# cross build by dpkg-buildpackage; unset, that is the build machine's architecture, whose
# libraries it then has to skip as the wrong kind of ELF file.
if(CPACK_DEBIAN_PACKAGE_ARCHITECTURE)
  set(ENV{DEB_HOST_ARCH} ${CPACK_DEBIAN_PACKAGE_ARCHITECTURE})
endif()
