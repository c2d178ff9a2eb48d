# The system's one version is project(VERSION) in CMakeLists.txt. Programs
# read it from a generated header (labdocs/version.h, through the target
# labdocs_version); Windows binaries carry it in a version resource
# (labdocs_version_resource); the package is named after it (packaging/).
# The resource's numbers, major.minor.patch.0, each 0 when project() leaves
# it out.
foreach(part major minor patch)
  string(TOUPPER ${part} upper)
  set(labdocs_version_${part} "${PROJECT_VERSION_${upper}}")
  if(labdocs_version_${part} STREQUAL "")
    set(labdocs_version_${part} 0)
  endif()
endforeach()

configure_file(${CMAKE_CURRENT_LIST_DIR}/version.h.in ${PROJECT_BINARY_DIR}/generated/labdocs/version.h @ONLY)
add_library(labdocs_version INTERFACE)
target_include_directories(labdocs_version INTERFACE ${PROJECT_BINARY_DIR}/generated)

if(WIN32)
  enable_language(RC)
endif()

# On Windows, gives the program or DLL `target` a version resource with the
# project's version, its file name and the description (ASCII); elsewhere
# nothing.
function(labdocs_version_resource target description)
  if(NOT WIN32)
    return()
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    set(labdocs_rc_file_type VFT_APP)
  else()
    set(labdocs_rc_file_type VFT_DLL)
  endif()
  set(labdocs_rc_target ${target})
  set(labdocs_rc_description "${description}")
  file(READ ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/version.rc.in template)
  string(CONFIGURE "${template}" resource @ONLY)
  # file(GENERATE) puts in the file's name ($<TARGET_FILE_NAME:...>).
  set(output ${PROJECT_BINARY_DIR}/generated/resources/${target}.rc)
  file(GENERATE OUTPUT ${output} CONTENT "${resource}")
  target_sources(${target} PRIVATE ${output})
endfunction()
