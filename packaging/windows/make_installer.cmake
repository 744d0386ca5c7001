# CPack's External generator runs this after installing the package's files into its staging
# folder: it writes the installer's file lists from that folder and compiles installer.nsi.
# Listing the staged files here, rather than by hand in the script, keeps what the installer puts
# down and what the uninstaller removes the same files.
set(staging "${CPACK_TEMPORARY_DIRECTORY}")
set(installer "${CPACK_TOPLEVEL_DIRECTORY}/${CPACK_PACKAGE_FILE_NAME}-setup.exe")
set(file_lists "${CPACK_TOPLEVEL_DIRECTORY}/installer-files.nsh")

if(NOT CPACK_ORLO_MAKENSIS)
  message(FATAL_ERROR "makensis was not found: install NSIS (scripts/install-deps does) and "
                      "configure again.")
endif()
if(NOT EXISTS "${staging}/${CPACK_ORLO_PROGRAM_FILE}")
  message(FATAL_ERROR "The staged files in ${staging} lack ${CPACK_ORLO_PROGRAM_FILE}.")
endif()

# The uninstaller removes folders only when it knows the installer made them, so the installer
# puts files at the top of its folder only.
file(GLOB entries LIST_DIRECTORIES true RELATIVE "${staging}" "${staging}/*")
list(SORT entries)
set(install_lines "")
set(remove_lines "")
foreach(entry IN LISTS entries)
  if(IS_DIRECTORY "${staging}/${entry}")
    message(FATAL_ERROR "The installer takes files only, not the folder ${entry}; see "
                        "${CMAKE_CURRENT_LIST_FILE}.")
  endif()
  string(APPEND install_lines "  File \"${staging}/${entry}\"\n"
                              "  !insertmacro RecordInstalledFile \"${entry}\"\n")
  string(APPEND remove_lines "  !insertmacro RemoveInstalledFile \"${entry}\"\n")
endforeach()
file(WRITE "${file_lists}"
     "!macro INSTALL_FILES\n${install_lines}!macroend\n"
     "!macro REMOVE_FILES\n${remove_lines}!macroend\n")

execute_process(
  COMMAND "${CPACK_ORLO_MAKENSIS}" -V2 -NOCD "-DFILE_LISTS=${file_lists}" "-DOUTFILE=${installer}"
          "${CPACK_ORLO_NSIS_SCRIPT}"
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "makensis failed on ${CPACK_ORLO_NSIS_SCRIPT} (status ${status}).")
endif()
set(CPACK_EXTERNAL_BUILT_PACKAGES "${installer}")
