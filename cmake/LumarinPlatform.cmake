# Which text drawer and file layer this build uses, and what they link.
if(WIN32)
  set(LUMARIN_TEXT_DRAWER text_gdi.cpp)
  set(LUMARIN_FILE_LAYER file_win32.cpp)
  # The library and everything built on it needs nothing beyond Windows.
  add_link_options(-static -static-libgcc -static-libstdc++)
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(PANGOCAIRO REQUIRED IMPORTED_TARGET pangocairo)
  set(LUMARIN_TEXT_DRAWER text_pango.cpp)
  set(LUMARIN_FILE_LAYER file_posix.cpp)
endif()
