# Run at install time: fills the registration templates for the installed program.
# The program's folder is quoted as one argument; a prefix containing a double quote,
# a single quote, a backslash, a dollar sign, a backquote or a percent sign is refused.
set(folder "${CMAKE_INSTALL_PREFIX}/${SKIMBROOK_PROGRAM_DIR}")
if(folder MATCHES "[\"'\\\\$`%]")
  message(FATAL_ERROR "The install folder ${folder} contains a character the desktop entries cannot quote.")
endif()
set(SERVICE_EXEC "'${folder}/skimbrook'")
set(SKIMBROOK_EXEC "\"${folder}/skimbrook\"")
set(ADDFEED_EXEC "\"${folder}/skimbrook-addfeed\"")
set(SKIMBROOK_ICON skimbrook)
foreach(file org.skimbrook.Skimbrook.service skimbrook.desktop skimbrook-addfeed.desktop)
  configure_file(${SKIMBROOK_PACKAGING}/${file}.in ${SKIMBROOK_GENERATED}/${file} @ONLY)
endforeach()
