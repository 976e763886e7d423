# Warnings for the project's own targets; -Werror when ORVANE_WERROR is set
# (the test command sets it, so a warning fails CI).
option(ORVANE_WERROR "Treat warnings as errors" OFF)

function(orvane_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual)
  if(ORVANE_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# orvane_library(<name> SOURCES ... [DEPS ...] [PUBLIC_DEPS ...])
# A module's static library, its include root being the repository root so
# that includes read "gnp2/Packet.h".
function(orvane_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;PUBLIC_DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_PUBLIC_DEPS} PRIVATE ${ARG_DEPS})
  orvane_warnings(${name})
endfunction()

# orvane_test(<name> SOURCES ... DEPS ... [LABELS ...] [GL])
# A GoogleTest executable whose cases are registered with CTest one by one.
# GL tests are labelled "gl", need an X display (the test command runs
# everything under xvfb-run) and get the GL tests' main
# (tests/support/GlTestMain.cpp) instead of GoogleTest's.
function(orvane_test name)
  cmake_parse_arguments(ARG "GL" "" "SOURCES;DEPS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  if(ARG_GL)
    set(main orvane_test_gl_main)
  else()
    set(main GTest::gtest_main)
  endif()
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock ${main})
  orvane_warnings(${name})
  set(labels ${ARG_LABELS})
  if(ARG_GL)
    list(APPEND labels gl)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS "${labels}"
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
endfunction()

# orvane_bench(<name> SOURCES ... DEPS ...)
function(orvane_bench name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} benchmark::benchmark benchmark::benchmark_main)
  orvane_warnings(${name})
endfunction()
