# Read by cpack: dpkg-shlibdeps takes the package's architecture from DEB_HOST_ARCH, so that a
# cross-built package's Depends come from that architecture's libraries and their packages.
if(CPACK_DEBIAN_PACKAGE_ARCHITECTURE)
  set(ENV{DEB_HOST_ARCH} ${CPACK_DEBIAN_PACKAGE_ARCHITECTURE})
endif()
