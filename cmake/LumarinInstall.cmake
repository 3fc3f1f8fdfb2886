# What `cmake --install` puts in place on Linux: the lumarin command and its
# man page and copyright file, the library with its public headers, a CMake package
# (find_package(Lumarin) -> Lumarin::lumarin) and lumarin.pc.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(lumarin_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/Lumarin)

install(TARGETS lumarin_lib EXPORT LumarinTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/lumarin DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  PATTERN "*.in" EXCLUDE)
install(FILES ${PROJECT_BINARY_DIR}/include/lumarin/version.hpp DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/lumarin)
install(EXPORT LumarinTargets NAMESPACE Lumarin:: DESTINATION ${lumarin_cmake_dir})

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/LumarinConfig.cmake.in
  ${PROJECT_BINARY_DIR}/LumarinConfig.cmake INSTALL_DESTINATION ${lumarin_cmake_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/LumarinConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/LumarinConfig.cmake ${PROJECT_BINARY_DIR}/LumarinConfigVersion.cmake
  DESTINATION ${lumarin_cmake_dir})

file(RELATIVE_PATH lumarin_pc_to_prefix /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" lumarin_pc_to_prefix "${lumarin_pc_to_prefix}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/lumarin.pc.in ${PROJECT_BINARY_DIR}/lumarin.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/lumarin.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

install(TARGETS lumarin RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Debian's place for the copyright file, in its machine-readable format;
# a plain install gets it too, so that a copy made from either carries it.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/lumarin)

# The man page is the command's own --help, through help2man. An option
# shorter than the indent (--mono, --wrap) would share its line with its
# text, reading as an option and a value: a break after each option's tag
# starts every text on its own line.
find_program(LUMARIN_HELP2MAN help2man)
if(LUMARIN_HELP2MAN)
  set(man ${PROJECT_BINARY_DIR}/lumarin.1)
  add_custom_command(OUTPUT ${man}
    COMMAND ${LUMARIN_HELP2MAN} --no-info --section=1
            "--name=render lines of text into BMP, PNG or PBM pictures" --output=${man} $<TARGET_FILE:lumarin>
    COMMAND sed -i -f ${CMAKE_CURRENT_LIST_DIR}/lumarin_man.sed ${man}
    DEPENDS lumarin ${CMAKE_CURRENT_LIST_DIR}/lumarin_man.sed VERBATIM)
  add_custom_target(lumarin_man ALL DEPENDS ${man})
  install(FILES ${man} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(WARNING "help2man not found: the lumarin man page is neither built nor installed")
endif()
