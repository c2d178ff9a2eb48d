# What the 32-bit Windows build needs besides its own sources, built from
# Debian's source packages with the cross compiler and kept in the build tree
# (build/windows/deps), so that a second configure finds them ready:
#   - SQLite as sqlite3.dll (tools/windows-sqlite.sh), one copy per process as
#     the shared library is on Linux;
#   - PostgreSQL's client as libpq.dll (tools/windows-libpq.sh), for a
#     laboratory's shared server;
#   - zlib from Debian's libz-mingw-w64-dev (tools/deps.sh windows), linked
#     into hostrt.dll from its static library: no zlib1.dll to ship;
#   - GoogleTest from /usr/src/googletest (Debian's googletest package);
#   - the compiler's run-time DLLs, copied beside the programs so that the
#     output folder runs as it stands on a Windows machine.
set(LABDOCS_DEPS_DIR ${CMAKE_BINARY_DIR}/deps)

# A library that tools/windows-NAME.sh builds into deps/NAME (the DLL, its
# import library and include/), as the imported target TARGET: the name the
# Linux build's pkg-config target has, so that every target links it the
# same way on both systems.
function(labdocs_windows_library name target dll implib)
  set(dir ${LABDOCS_DEPS_DIR}/${name})
  if(NOT EXISTS ${dir}/${dll})
    execute_process(COMMAND ${PROJECT_SOURCE_DIR}/tools/windows-${name}.sh ${dir} ${CMAKE_C_COMPILER}
                    RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
      message(FATAL_ERROR "${name} for Windows could not be built (tools/windows-${name}.sh)")
    endif()
  endif()
  add_library(${target} SHARED IMPORTED GLOBAL)
  set_target_properties(${target} PROPERTIES
    IMPORTED_LOCATION ${dir}/${dll}
    IMPORTED_IMPLIB ${dir}/${implib}
    INTERFACE_INCLUDE_DIRECTORIES ${dir}/include)
endfunction()

labdocs_windows_library(sqlite PkgConfig::SQLITE3 sqlite3.dll libsqlite3.dll.a)
labdocs_windows_library(libpq PkgConfig::LIBPQ libpq.dll libpq.dll.a)
set(LIBPQ_FOUND TRUE)

set(ZLIB_USE_STATIC_LIBS ON)
find_package(ZLIB REQUIRED)

# Run-time DLLs that every program of the build needs beside it: the
# compiler's (C++ library, exception unwinding, threads), SQLite and libpq
# (loaded only with the server client, hostrt_server.dll).
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++-6.dll
                OUTPUT_VARIABLE libstdcxx_dll OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libgcc_s_dw2-1.dll
                OUTPUT_VARIABLE libgcc_dll OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libwinpthread-1.dll
                OUTPUT_VARIABLE winpthread_dll OUTPUT_STRIP_TRAILING_WHITESPACE)
set(runtime_dlls ${libstdcxx_dll} ${libgcc_dll} ${winpthread_dll} ${LABDOCS_DEPS_DIR}/sqlite/sqlite3.dll
    ${LABDOCS_DEPS_DIR}/libpq/libpq.dll)
foreach(dll IN LISTS runtime_dlls)
  if(NOT IS_ABSOLUTE ${dll} OR NOT EXISTS ${dll})
    message(FATAL_ERROR "run-time DLL not found: ${dll}")
  endif()
  file(COPY ${dll} DESTINATION ${CMAKE_BINARY_DIR}/bin)
endforeach()

if(LABDOCS_TESTS)
  set(gtest_source /usr/src/googletest)
  if(NOT EXISTS ${gtest_source}/CMakeLists.txt)
    message(FATAL_ERROR "GoogleTest's source is missing: ${gtest_source} (Debian's googletest package)")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  # GoogleTest's own Windows threading, not the POSIX layer of the compiler.
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  add_subdirectory(${gtest_source} ${LABDOCS_DEPS_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  foreach(lib gtest gtest_main gmock gmock_main)
    if(NOT TARGET GTest::${lib})
      add_library(GTest::${lib} ALIAS ${lib})
    endif()
  endforeach()
endif()
