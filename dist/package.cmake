# SPDX-License-Identifier: GPL-3.0-or-later
# `make package`: a Debian package of the installed tree.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kivo)
set(CPACK_PACKAGE_VENDOR "The kivo developers")
# The package names whoever makes it, as Debian's tools do: DEBFULLNAME and DEBEMAIL when
# cpack runs (dist/cpack_options.cmake), else KIVO_PACKAGER, by default git's user.
execute_process(COMMAND git config user.name OUTPUT_VARIABLE name OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
execute_process(COMMAND git config user.email OUTPUT_VARIABLE email OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
set(KIVO_PACKAGER "${name} <${email}>" CACHE STRING "Who makes the package, \"Name <address>\"")
set(CPACK_PACKAGE_CONTACT "${KIVO_PACKAGER}")
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/cpack_options.cmake)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "player for scripted Japanese broadcast programmes")
# CPack indents these lines under the summary.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "kivo plays programmes of a small broadcasting station: a cast of characters
talk in turn on a stage, with still pictures, background MIDI music, voice
clips and a menu of items. Each programme is one Shift-JIS text file; three
demo programmes come with it (kivo --demo).")
# The libraries come from the binary; the SoundFont and the fonts are data it looks for.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fluid-soundfont-gm | timgm6mb-soundfont, fonts-ipafont-gothic, fonts-ipafont-mincho")
# Two packages: the player, and the recorder (kivo --record), the only part that needs FFmpeg.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL kivo)
set(CPACK_DEBIAN_KIVO_PACKAGE_NAME kivo)
if(KIVO_RECORDER)
  list(APPEND CPACK_COMPONENTS_ALL kivo-recorder)
  set(CPACK_DEBIAN_KIVO-RECORDER_PACKAGE_NAME kivo-recorder)
  set(CPACK_DEBIAN_KIVO-RECORDER_PACKAGE_DEPENDS "kivo (= ${PROJECT_VERSION})")
  set(CPACK_COMPONENT_KIVO-RECORDER_DESCRIPTION "recorder of kivo programmes to video files
kivo --record plays programmes unattended on virtual time and writes them
to a video file (MP4, WebM or Matroska) with FFmpeg.")
endif()
include(CPack)
