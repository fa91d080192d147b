# Build switches shared by every module.
option(TEVO_BUILD_TESTS "Build the GoogleTest suite" ON)
option(TEVO_BUILD_BENCHMARKS "Build the Google Benchmark programs" OFF)
option(TEVO_BUILD_FUZZERS "Build libFuzzer targets (needs clang)" OFF)
set(TEVO_SANITIZE "" CACHE STRING "Sanitizers to build with: address,undefined or thread")

# Our own code builds without warnings.
set(TEVO_WARNINGS -Wall -Wextra)

if(TEVO_SANITIZE)
  add_compile_options(-fsanitize=${TEVO_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${TEVO_SANITIZE})
endif()
if(TEVO_BUILD_FUZZERS)
  add_compile_options(-fsanitize=fuzzer-no-link
    -fsanitize-ignorelist=${CMAKE_CURRENT_LIST_DIR}/../tests/fuzz/library_ubsan_ignorelist.txt)
endif()

# Programs are linked as Debian links its packages' programs: the symbol
# table is resolved at start and then made read-only (they read files from
# outside).
if(NOT TEVO_SANITIZE AND NOT TEVO_BUILD_FUZZERS)
  add_link_options(-Wl,-z,relro -Wl,-z,now)
endif()

# Raster loops (fills, blends, blits, line and polygon drawers) need -O3:
# GCC 12 leaves the 16-bit loops scalar at -O2.
function(tevo_raster_optimise target)
  if(NOT CMAKE_BUILD_TYPE STREQUAL "Debug")
    target_compile_options(${target} PRIVATE -O3)
  endif()
endfunction()

# A library of the portable core or the platform, with our warnings.
function(tevo_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC_LIBS;PRIVATE_LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_compile_options(${name} PRIVATE ${TEVO_WARNINGS})
  target_link_libraries(${name} PUBLIC ${ARG_PUBLIC_LIBS} PRIVATE ${ARG_PRIVATE_LIBS})
endfunction()

# Installs a program into the install's program folder and lists it among
# the package's programs (the AppStream metadata names each one). Data files
# of a program go to ${TEVO_INSTALL_DATADIR}/<folder> with install().
function(tevo_install_program target)
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  set_property(GLOBAL APPEND PROPERTY TEVO_INSTALLED_PROGRAMS ${target})
endfunction()
