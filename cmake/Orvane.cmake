# orvane_library(<target> <alias> SOURCES ... [PUBLIC_LIBS ...] [PRIVATE_LIBS ...])
# One static library per folder; includes are written from the repo root.
function(orvane_library target alias)
  cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC_LIBS;PRIVATE_LIBS" ${ARGN})
  add_library(${target} STATIC ${ARG_SOURCES})
  add_library(${alias} ALIAS ${target})
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
  # The engine libraries reach each other in cycles (the renderer draws
  # scene geometry, scene objects hold textures): repeat the group enough
  # times on link lines for every cycle to resolve.
  set_property(TARGET ${target} PROPERTY LINK_INTERFACE_MULTIPLICITY 4)
  if(ARG_PUBLIC_LIBS)
    target_link_libraries(${target} PUBLIC ${ARG_PUBLIC_LIBS})
  endif()
  if(ARG_PRIVATE_LIBS)
    target_link_libraries(${target} PRIVATE ${ARG_PRIVATE_LIBS})
  endif()
  # ORVANE_PCH: the standard headers precompiled once for every library.
  if(TARGET orvane_std_pch)
    target_precompile_headers(${target} REUSE_FROM orvane_std_pch)
    target_compile_definitions(${target} PRIVATE _REENTRANT)
  endif()
endfunction()

# orvane_tests(<target> [OPTIMISED_ONLY] SOURCES ... [OPTIMISED_ONLY_SOURCES ...] LIBS ...)
# One GoogleTest program per library; each test runs in its own CTest process.
# Tests that cost minutes under the sanitizers and find there nothing the
# optimised run does not (drawing through the GL driver, the HLSL front
# end's children, suites of many whole files, the same work done twice) run
# in the optimised trees only: OPTIMISED_ONLY leaves the whole program out
# of a sanitized tree (ORVANE_SANITIZE, ORVANE_TSAN), OPTIMISED_ONLY_SOURCES
# the files named there (their suites). A program left out is no target
# there: guard what is added to it afterwards with if(TARGET ...).
function(orvane_tests target)
  cmake_parse_arguments(ARG "OPTIMISED_ONLY" "" "SOURCES;OPTIMISED_ONLY_SOURCES;LIBS" ${ARGN})
  if(ORVANE_SANITIZE OR ORVANE_TSAN)
    if(ARG_OPTIMISED_ONLY)
      return()
    endif()
  else()
    list(APPEND ARG_SOURCES ${ARG_OPTIMISED_ONLY_SOURCES})
  endif()
  add_executable(${target} ${ARG_SOURCES} ${PROJECT_SOURCE_DIR}/tests/SanitizerDefaults.cpp)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${target} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
  if(ORVANE_TSAN)
    # Read by tests/SanitizerDefaults.cpp, so a program run by hand reports
    # the same as under CTest.
    target_compile_definitions(${target} PRIVATE
      ORVANE_TSAN_SUPPRESSIONS="${PROJECT_SOURCE_DIR}/tests/ThreadSanitizer.supp")
  endif()
  gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60)
  set_property(GLOBAL APPEND PROPERTY ORVANE_TEST_PROGRAMS ${target})
endfunction()

# orvane_bench(<target> SOURCES ... LIBS ...)
function(orvane_bench target)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${target} ${ARG_SOURCES})
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${target} PRIVATE ${ARG_LIBS} benchmark::benchmark Threads::Threads)
  set_property(GLOBAL APPEND PROPERTY ORVANE_BENCH_PROGRAMS ${target})
endfunction()

# orvane_sanitized_program(<target>)
# A program of ours built with the sanitizers gets the test programs' sanitizer
# defaults and GL library pin, so a normal close exits 0 unless our own code
# leaks; release builds get neither.
function(orvane_sanitized_program target)
  if(ORVANE_SANITIZE)
    target_sources(${target} PRIVATE
      ${PROJECT_SOURCE_DIR}/tests/SanitizerDefaults.cpp
      ${PROJECT_SOURCE_DIR}/tests/support/SanitizedProgramPin.cpp)
    target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${target} PRIVATE ${CMAKE_DL_LIBS})
  endif()
endfunction()
