# Texts inside the system are GBK (code page 936). Source files are UTF-8;
# targets that hold the system's own Chinese literals compile them to GBK.
# Only GCC can do that; clang builds (the fuzzers) must not hold such literals.
# The execution character set named is GB18030, the superset of GBK that
# encodes every character: Chinese literals come out as the same bytes as
# in GBK, and the few non-GBK characters of the standard headers (such as
# the micro sign of <chrono>) still compile. u8"..." literals stay plain
# char arrays (-fno-char8_t), so UTF-8 texts compare with std::string.
function(labdocs_gbk_literals target)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${target} PRIVATE -finput-charset=UTF-8 -fexec-charset=GB18030 -fno-char8_t)
  endif()
endfunction()

# Adds every *_test.cpp below the given folders to one test binary, but for
# those whose paths match a regular expression of EXCLUDE. Its tests need
# the CTest fixture FIXTURE when one is named, and get the NAME=VALUE pairs
# of ENVIRONMENT. With BOTH_ENGINES, where the build has the PostgreSQL
# client, the tests may reach the tests' server (runtime/CMakeLists.txt),
# and are registered a second time, named "...@postgres", to run with the
# server as their database (LABDOCS_TEST_ENGINE=postgres,
# runtime/data/testing/test_database.h); tests parameterised over the
# engines themselves ("Engines/...") run once.
function(labdocs_add_tests target)
  cmake_parse_arguments(ARG "BOTH_ENGINES" "FIXTURE" "DIRS;LIBS;EXCLUDE;ENVIRONMENT" ${ARGN})
  set(on_server OFF)
  if(ARG_BOTH_ENGINES AND LIBPQ_FOUND)
    set(on_server ON)
    set(ARG_FIXTURE postgres)
    list(APPEND ARG_ENVIRONMENT "LABDOCS_TEST_POSTGRES=${LABDOCS_TEST_POSTGRES}")
  endif()
  set(sources)
  foreach(dir IN LISTS ARG_DIRS)
    file(GLOB_RECURSE found CONFIGURE_DEPENDS ${dir}/*_test.cpp)
    # NAME_posix_test.cpp tests what only POSIX systems have (fork, signals,
    # posix_spawn); NAME_win32_test.cpp what only Windows has.
    if(WIN32)
      list(FILTER found EXCLUDE REGEX "_posix_test\\.cpp$")
    else()
      list(FILTER found EXCLUDE REGEX "_win32_test\\.cpp$")
    endif()
    foreach(pattern IN LISTS ARG_EXCLUDE)
      list(FILTER found EXCLUDE REGEX "${pattern}")
    endforeach()
    list(APPEND sources ${found})
  endforeach()
  add_executable(${target} ${sources})
  target_link_libraries(${target} PRIVATE ${ARG_LIBS} rt_test_support GTest::gtest GTest::gmock GTest::gtest_main labdocs_warnings)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})
  labdocs_gbk_literals(${target})
  # A cross build lists its tests when CTest runs, in the environment CTest
  # gives the emulator (Wine's prefix), not while building.
  if(CMAKE_CROSSCOMPILING)
    set(discovery_mode PRE_TEST)
  else()
    set(discovery_mode POST_BUILD)
  endif()
  # One variable a property: a list in a property does not survive the
  # discovery's generated script.
  set(properties ENVIRONMENT "LABDOCS_TEST_BIN=${CMAKE_BINARY_DIR}/bin")
  foreach(assignment IN LISTS ARG_ENVIRONMENT)
    string(REGEX REPLACE "^([^=]*)=" "\\1=set:" modification "${assignment}")
    list(APPEND properties ENVIRONMENT_MODIFICATION "${modification}")
  endforeach()
  if(ARG_FIXTURE)
    list(APPEND properties FIXTURES_REQUIRED ${ARG_FIXTURE})
  endif()
  # A test's name without its parameter's bytes ("  # GetParam() = 4-byte
  # object <...>"): the engines' names already end it (".../Sqlite").
  gtest_discover_tests(${target} NO_PRETTY_VALUES DISCOVERY_TIMEOUT 120 DISCOVERY_MODE ${discovery_mode}
                       PROPERTIES ${properties})
  if(on_server)
    gtest_discover_tests(${target} NO_PRETTY_VALUES TEST_SUFFIX "@postgres" TEST_FILTER "-Engines/*" DISCOVERY_TIMEOUT 120
                         DISCOVERY_MODE ${discovery_mode}
                         PROPERTIES ${properties} ENVIRONMENT_MODIFICATION "LABDOCS_TEST_ENGINE=set:postgres")
  endif()
endfunction()
