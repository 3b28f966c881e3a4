# Warnings for the project's own targets; third-party code is built without them.
add_library(veltrane_warnings INTERFACE)
target_compile_options(veltrane_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion
  -Wnon-virtual-dtor -Wold-style-cast -Wcast-align -Woverloaded-virtual
  -Wdouble-promotion -Wformat=2 -Wimplicit-fallthrough)
# GCC 12 at -O3 reports impossible overlaps inside libstdc++'s string
# concatenation (a known false positive); it would fail every release build.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  target_compile_options(veltrane_warnings INTERFACE -Wno-restrict)
endif()
if(VELTRANE_WERROR)
  target_compile_options(veltrane_warnings INTERFACE -Werror)
endif()
