# Makes the Windows installer (cmake -P, from the target `installer`):
# installs the build into a staging folder as the install rules have it
# (stripped), lists the files of its program folder for the script
# (files.nsh to install, remove.nsh to uninstall them one by one) and runs
# makensis on the configured script (labdocs.nsi.in).
#   BUILD_DIR  the Windows build tree
#   STAGE      the staging folder, made afresh
#   SCRIPT     the configured .nsi
#   OUTPUT     the installer to make
cmake_minimum_required(VERSION 3.25)
foreach(variable BUILD_DIR STAGE SCRIPT OUTPUT)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "installer.cmake needs -D${variable}=...")
  endif()
endforeach()
find_program(MAKENSIS makensis)
if(NOT MAKENSIS)
  message(FATAL_ERROR "makensis is missing: tools/deps.sh windows installs it (Debian's nsis)")
endif()

file(REMOVE_RECURSE ${STAGE})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${STAGE}/root --strip
                OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)

# The program folder (bin/, packaging/CMakeLists.txt) and only that: README
# and docs/ stay on the web and in the source.
set(folder ${STAGE}/root/bin)
file(GLOB files RELATIVE ${folder} ${folder}/*)
list(SORT files)
set(install_lines "")
set(remove_lines "")
set(size 0)
foreach(file IN LISTS files)
  if(IS_DIRECTORY ${folder}/${file})
    message(FATAL_ERROR "the program folder holds a folder, which the installer does not take: ${file}")
  endif()
  file(SIZE ${folder}/${file} bytes)
  math(EXPR size "${size} + ${bytes}")
  string(APPEND install_lines "File \"${folder}/${file}\"\n")
  string(APPEND remove_lines "Delete \"$INSTDIR\\${file}\"\n")
endforeach()
foreach(program labdocs-desktop.exe labdocs-console.exe)
  if(NOT program IN_LIST files)
    message(FATAL_ERROR "the program folder lacks ${program}")
  endif()
endforeach()
file(WRITE ${STAGE}/files.nsh "${install_lines}")
file(WRITE ${STAGE}/remove.nsh "${remove_lines}")
math(EXPR size_kb "(${size} + 1023) / 1024")

execute_process(COMMAND ${MAKENSIS} -V2 -WX -DSTAGE=${STAGE} -DOUTPUT=${OUTPUT} -DSIZE_KB=${size_kb} ${SCRIPT}
                COMMAND_ERROR_IS_FATAL ANY)
message(STATUS "Installer: ${OUTPUT}")
