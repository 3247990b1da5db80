# Runs at install time: the manual names installed paths, so it is written for the prefix
# actually installed to (`cmake --install --prefix`, or /usr in the package), not the one
# configured. Expects source, binary, version and the relative GNUInstallDirs directories.
foreach(dir DATADIR DOCDIR MANDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${dir}}")
    set(CMAKE_INSTALL_FULL_${dir} "${CMAKE_INSTALL_${dir}}")
  else()
    set(CMAKE_INSTALL_FULL_${dir} "${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_${dir}}")
  endif()
endforeach()
configure_file("${source}/kivo.1" "${binary}/kivo.1" @ONLY)
# Debian wants manual pages compressed, reproducibly (no name, no time).
execute_process(COMMAND gzip -9nc kivo.1 OUTPUT_FILE kivo.1.gz WORKING_DIRECTORY "${binary}" COMMAND_ERROR_IS_FATAL ANY)
file(INSTALL "${binary}/kivo.1.gz" DESTINATION "${CMAKE_INSTALL_FULL_MANDIR}/man1")
