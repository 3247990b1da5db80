# SPDX-License-Identifier: GPL-3.0-or-later
# Read by cpack when it runs: the packager from the environment, as Debian's tools take it.
if(DEFINED ENV{DEBEMAIL})
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "$ENV{DEBFULLNAME} <$ENV{DEBEMAIL}>")
endif()
