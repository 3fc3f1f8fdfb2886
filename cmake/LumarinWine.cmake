# Running Windows tests under Wine: one private prefix per build folder,
# created once by a fixture test and shut down by another.
set(LUMARIN_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(LUMARIN_WINE64 /usr/lib/wine/wine64)
set(LUMARIN_WINE32 /usr/lib/wine/wine)
set(LUMARIN_WINESERVER /usr/bin/wineserver)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(LUMARIN_WINE ${LUMARIN_WINE64})
  set(LUMARIN_WINE_SYSDIR "C:\\windows\\system32")
else()
  set(LUMARIN_WINE ${LUMARIN_WINE32})
  set(LUMARIN_WINE_SYSDIR "C:\\windows\\syswow64")
endif()
set(LUMARIN_WINE_ENV
  WINEPREFIX=${LUMARIN_WINEPREFIX}
  WINEARCH=win64
  WINEDEBUG=-all
  "WINEDLLOVERRIDES=mscoree,mshtml="
  WINESERVER=${LUMARIN_WINESERVER})

# Makes the given tests (in the calling directory) run inside the prefix.
# In a 32-bit build, exit code 77 reports a test skipped: run32.sh's answer
# where the kernel does not execute 32-bit programs.
function(lumarin_wine_tests)
  if(ARGN)
    set_property(TEST ${ARGN} APPEND PROPERTY FIXTURES_REQUIRED lumarin_wineprefix)
    set_property(TEST ${ARGN} APPEND PROPERTY ENVIRONMENT "${LUMARIN_WINE_ENV}")
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      set_property(TEST ${ARGN} PROPERTY SKIP_RETURN_CODE 77)
    endif()
  endif()
endfunction()

# Every test defined so far in the calling directory runs inside the prefix.
function(lumarin_wine_directory_tests)
  get_property(tests DIRECTORY PROPERTY TESTS)
  lumarin_wine_tests(${tests})
endfunction()
