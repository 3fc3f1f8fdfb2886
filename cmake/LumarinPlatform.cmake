# Which text drawer, file layer and PNG writer this build uses, and what
# they link; on Linux also the barcode (zint) and QR code (libqrencode)
# encoders. The Windows builds write PNG through the Windows Imaging
# Component (windowscodecs, and COM from ole32) and reach printers through
# Winsock (ws2_32) and the spooler (winspool).
if(WIN32)
  set(LUMARIN_TEXT_DRAWER text_gdi.cpp)
  set(LUMARIN_FILE_LAYER file_win32.cpp)
  set(LUMARIN_PNG_WRITER png_wic.cpp)
  set(LUMARIN_PLATFORM_LIBS gdi32 usp10 windowscodecs ole32 ws2_32 winspool)
else()
  find_package(PkgConfig REQUIRED)
  # One imported target for every library the static library needs; its
  # name is older than the libraries beside Pango in it.
  # LumarinConfig.cmake.in repeats this.
  pkg_check_modules(PANGOCAIRO REQUIRED IMPORTED_TARGET pangocairo harfbuzz fontconfig libpng libqrencode)
  # Debian's zint has no pkg-config file.
  find_path(LUMARIN_ZINT_INCLUDE_DIR zint.h REQUIRED)
  find_library(LUMARIN_ZINT_LIBRARY zint REQUIRED)
  add_library(Lumarin::zint UNKNOWN IMPORTED)
  set_target_properties(Lumarin::zint PROPERTIES IMPORTED_LOCATION ${LUMARIN_ZINT_LIBRARY}
    INTERFACE_INCLUDE_DIRECTORIES ${LUMARIN_ZINT_INCLUDE_DIR})
  set(LUMARIN_TEXT_DRAWER text_pango.cpp pango_breaks.cpp pango_font_files.cpp pango_metrics.cpp pango_names.cpp
    pango_pieces.cpp)
  set(LUMARIN_FILE_LAYER file_posix.cpp)
  set(LUMARIN_PNG_WRITER png.cpp)
  set(LUMARIN_PLATFORM_LIBS PkgConfig::PANGOCAIRO Lumarin::zint)
endif()

# Windows programs and the DLL built in the calling directory carry their
# C and C++ runtimes, so that they need nothing beyond Windows. Only our
# own binaries: the library imposes nothing on its users' links.
function(lumarin_static_runtime)
  if(WIN32)
    add_link_options(-static -static-libgcc -static-libstdc++)
  endif()
endfunction()
