# `cpack -G DEB`: one package per install component, dependencies from dpkg-shlibdeps.
set(CPACK_PACKAGE_VENDOR "Benchmark Companion developers")
set(CPACK_PACKAGE_CONTACT "${BENCHMARK_COMPANION_MAINTAINER}")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://benchmarkcompanion.org/")
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL companion)
if(TARGET score-service)
  list(APPEND CPACK_COMPONENTS_ALL service)
endif()

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${BENCHMARK_COMPANION_MAINTAINER}")

set(CPACK_DEBIAN_COMPANION_PACKAGE_NAME benchmark-companion)
set(CPACK_DEBIAN_COMPANION_PACKAGE_SECTION utils)
# The window's typefaces; Qt falls back to other fonts without them.
set(CPACK_DEBIAN_COMPANION_PACKAGE_RECOMMENDS
    "fonts-inter, fonts-jetbrains-mono, fonts-noto-color-emoji")
set(CPACK_COMPONENT_COMPANION_DESCRIPTION
"CPU benchmark with a window and a terminal program
Benchmark Companion shows the computer's model, processor and installed
memory, runs a fixed floating-point stress workload as 24 concurrent tasks,
times it and shows 3.5 times the elapsed seconds as a score (lower is
faster). It sends each result to a score service, where it can be compared
with other machines.
.
This package holds the window program, the terminal program
benchmark-companion-cli for machines without a display, and the desktop
entry, icon and metainfo.")

set(CPACK_DEBIAN_SERVICE_PACKAGE_NAME score-service)
set(CPACK_DEBIAN_SERVICE_PACKAGE_SECTION net)
set(CPACK_COMPONENT_SERVICE_DESCRIPTION
"self-hosted score service and leaderboard for Benchmark Companion
The service receives the results that Benchmark Companion submits over
HTTPS, checks that they are plausible and stores them in SQLite or
PostgreSQL. It serves a leaderboard page, the same data as JSON, and a
health check. A systemd unit is included.")
if(EXISTS ${PROJECT_SOURCE_DIR}/service/score-service.service)
  # dpkg knows a maintainer script by its file name alone.
  configure_file(${PROJECT_SOURCE_DIR}/data/score-service.postinst
                 ${PROJECT_BINARY_DIR}/packaging/score-service/postinst COPYONLY)
  set(CPACK_DEBIAN_SERVICE_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/packaging/score-service/postinst)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
endif()

include(CPack)
