# Cross-compiling for 32-bit Windows with Debian's MinGW-w64 compiler, in its
# POSIX-thread flavour (std::thread and std::mutex need it).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(LABDOCS_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${LABDOCS_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${LABDOCS_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${LABDOCS_MINGW_PREFIX}-windres)

# A 64-bit time_t, as on Linux: the 32-bit one of the i686 C run time ends in
# 2038, and the dates the system keeps and tests reach past it.
# Floating-point arithmetic and copies in SSE2 registers rather than the x87
# unit, which turns a signalling NaN quiet when it loads one: a double that
# is only moved keeps its bits, as on x86-64. (Results still come back in
# the x87 register, as the calling convention has it; code that carries
# values it does not compute keeps them as bits, see runtime/data/packet.cpp.)
set(CMAKE_C_FLAGS_INIT "-D__MINGW_USE_VC2005_COMPAT -msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-D__MINGW_USE_VC2005_COMPAT -msse2 -mfpmath=sse")

set(CMAKE_FIND_ROOT_PATH /usr/${LABDOCS_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The built programs run under Wine on the build machine (CTest and test
# discovery go through it).
if(NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR wine)
endif()
