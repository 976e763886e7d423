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

# Sources are compiled eight to a unit: each unit parses the Qt and
# OpenSceneGraph headers once instead of once a file, which more than halves
# a clean build. File-local names therefore have to be unique within a target;
# NO_UNITY keeps one unit a file for a target whose sources cannot.
function(orvane_unity target)
  set_target_properties(${target} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 8)
endfunction()

# orvane_library(<name> SOURCES ... [DEPS ...] [PUBLIC_DEPS ...] [NO_UNITY])
# A module's static library, its include root being the repository root so
# that includes read "gnp2/Packet.h".
function(orvane_library name)
  cmake_parse_arguments(ARG "NO_UNITY" "" "SOURCES;DEPS;PUBLIC_DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  if(NOT ARG_NO_UNITY)
    orvane_unity(${name})
  endif()
  target_include_directories(${name} PUBLIC $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>)
  target_link_libraries(${name} PUBLIC ${ARG_PUBLIC_DEPS} PRIVATE ${ARG_DEPS})
  orvane_warnings(${name})
endfunction()

# orvane_test(<name> SOURCES ... DEPS ... TIER <tier> [TSAN] [ASAN] [LABELS ...]
#             [ENVIRONMENT NAME=VALUE ...] [CASE_PROCESSES] [NO_UNITY])
# A GoogleTest executable registered with CTest and labelled with its tier
# (docs/TESTING.md):
#   unit     pure logic, no window and no scene graph
#   scene    scene graph nodes built and inspected, no OpenGL
#   gl       drawing in windows on an X display (the test command runs every
#            test under xvfb-run)
#   program  the programs started as processes
# gl and program tests get the GL tests' main (tests/support/GlTestMain.cpp)
# instead of GoogleTest's. A unit or scene program's cases are registered one
# by one (their processes start in milliseconds); a gl or program program is
# one CTest test named after it that runs all its cases in one process, since
# each process spends most of a short case starting the application and its
# X connection. Its output names every failed case. CASE_PROCESSES keeps a
# gl or program program's cases one by one, each in a process of its own,
# for a program whose cases see what an earlier case left behind. TSAN adds
# the label "tsan": the test command runs exactly those tests again in a
# ThreadSanitizer build, where the target tsan_tests builds every such
# program. ASAN does the same with the label "asan", the target asan_tests and
# an AddressSanitizer and UndefinedBehaviorSanitizer build. ENVIRONMENT sets
# variables for every case.
set(ORVANE_TEST_TIERS unit scene gl program)
function(orvane_test name)
  cmake_parse_arguments(ARG "TSAN;ASAN;CASE_PROCESSES;NO_UNITY" "TIER" "SOURCES;DEPS;LABELS;ENVIRONMENT"
    ${ARGN})
  if(NOT ARG_TIER IN_LIST ORVANE_TEST_TIERS)
    message(FATAL_ERROR "orvane_test(${name}): TIER must be one of ${ORVANE_TEST_TIERS}")
  endif()
  add_executable(${name} ${ARG_SOURCES})
  if(NOT ARG_NO_UNITY)
    orvane_unity(${name})
  endif()
  if(ARG_TIER STREQUAL "gl" OR ARG_TIER STREQUAL "program")
    set(main orvane_test_gl_main)
  else()
    set(main GTest::gtest_main)
  endif()
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock ${main})
  orvane_warnings(${name})
  set(labels ${ARG_TIER} ${ARG_LABELS})
  if(ARG_TSAN)
    list(APPEND labels tsan)
    set_property(GLOBAL APPEND PROPERTY ORVANE_TSAN_TESTS ${name})
  endif()
  if(ARG_ASAN)
    list(APPEND labels asan)
    set_property(GLOBAL APPEND PROPERTY ORVANE_ASAN_TESTS ${name})
  endif()
  if(main STREQUAL "orvane_test_gl_main" AND NOT ARG_CASE_PROCESSES)
    # Cases get up to 300 s each; the program as a whole gets more than that.
    # COST starts these long tests first when CTest has no timings yet, so
    # the short ones fill the other job slots instead of waiting behind them.
    add_test(NAME ${name} COMMAND ${name} --gtest_brief=1
      WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
    set_tests_properties(${name} PROPERTIES LABELS "${labels}" TIMEOUT 1500 COST 1000)
    if(ARG_ENVIRONMENT)
      set_tests_properties(${name} PROPERTIES ENVIRONMENT "${ARG_ENVIRONMENT}")
    endif()
    return()
  endif()
  # Cases are listed when CTest starts, not after each link: the build does
  # not wait on the programs' start-up, and a build that is never tested never
  # runs them.
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    TEST_LIST ${name}_TESTS
    PROPERTIES LABELS ${ARG_TIER}
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  # The discovery passes its properties on as a flat list, so a test can get
  # one label there. A file that CTest reads after the discovered tests
  # gives each of them all its labels.
  set(label_file ${CMAKE_CURRENT_BINARY_DIR}/${name}_labels.cmake)
  set(environment "")
  if(ARG_ENVIRONMENT)
    set(environment " ENVIRONMENT \"${ARG_ENVIRONMENT}\"")
  endif()
  file(WRITE ${label_file}
    "if(DEFINED ${name}_TESTS)\n"
    "  set_tests_properties(\${${name}_TESTS} PROPERTIES LABELS \"${labels}\"${environment})\n"
    "endif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${label_file})
endfunction()

# orvane_bench(<name> SOURCES ... DEPS ...)
function(orvane_bench name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  orvane_unity(${name})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} benchmark::benchmark benchmark::benchmark_main)
  orvane_warnings(${name})
endfunction()
