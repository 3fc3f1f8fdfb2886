# `cpack -G DEB` in a Linux build folder: one Debian package of the
# command, the library and its headers, and the Python module where it is
# built. Depends comes from dpkg-shlibdeps,
# run on the command; building against the static library also needs
# the development files of Pango, libpng, zint and libqrencode, which the
# package recommends.
set(CPACK_PACKAGE_NAME lumarin)
set(CPACK_PACKAGE_VENDOR Lumarin)
set(CPACK_PACKAGE_CONTACT "Lumarin developers <dev@lumarin.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "turns lines of text into bitmap files")
set(CPACK_PACKAGE_DESCRIPTION
  "Receipts, labels, signs and thermal-printer bitmaps from text: the lumarin command, and the C++ library (static, with headers, a CMake package and a pkg-config file).")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation2, libpango1.0-dev, libpng-dev, libzint-dev, libqrencode-dev, pkgconf | pkg-config")
# The Python module is built for one version of the interpreter: the one
# it needs, recommended rather than forced on users of the command.
if(TARGET _lumarin)
  math(EXPR lumarin_python_next "${Python_VERSION_MINOR} + 1")
  string(APPEND CPACK_DEBIAN_PACKAGE_RECOMMENDS
    ", python3 (>= ${Python_VERSION_MAJOR}.${Python_VERSION_MINOR}~), python3 (<< ${Python_VERSION_MAJOR}.${lumarin_python_next})")
endif()
set(CPACK_GENERATOR DEB)
include(CPack)
