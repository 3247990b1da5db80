# SPDX-License-Identifier: GPL-3.0-or-later
# Runs at install time. The manual names installed paths, so it is written for the prefix
# actually installed to (`cmake --install --prefix`, or /usr in the package), not the one
# configured; the changelog names who made the package: DEBFULLNAME and DEBEMAIL when set
# (as Debian's tools take them), else the packager configured. Expects source, binary,
# packager, PROJECT_VERSION and the relative GNUInstallDirs directories.
foreach(dir DATADIR DOCDIR MANDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${dir}}")
    set(CMAKE_INSTALL_FULL_${dir} "${CMAKE_INSTALL_${dir}}")
  else()
    set(CMAKE_INSTALL_FULL_${dir} "${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_${dir}}")
  endif()
endforeach()
if(DEFINED ENV{DEBEMAIL})
  set(KIVO_PACKAGER "$ENV{DEBFULLNAME} <$ENV{DEBEMAIL}>")
else()
  set(KIVO_PACKAGER "${packager}")
endif()
# Debian wants both compressed, reproducibly (no name, no time).
foreach(file kivo.1 changelog)
  configure_file("${source}/${file}" "${binary}/${file}" @ONLY)
  execute_process(COMMAND gzip -9nc ${file} OUTPUT_FILE ${file}.gz WORKING_DIRECTORY "${binary}"
                  COMMAND_ERROR_IS_FATAL ANY)
endforeach()
file(INSTALL "${binary}/kivo.1.gz" DESTINATION "${CMAKE_INSTALL_FULL_MANDIR}/man1")
file(INSTALL "${binary}/changelog.gz" DESTINATION "${CMAKE_INSTALL_FULL_DOCDIR}")
