# What `cmake --install` lays down, split into the two Debian packages' components:
# "companion" (window, terminal program, desktop data) and "service".
# Included last, so that every program's target already exists.

set(BENCHMARK_COMPANION_MAINTAINER
    "Benchmark Companion developers <maintainers@benchmarkcompanion.org>")

find_program(GZIP_EXECUTABLE gzip REQUIRED)
set(dataDir ${PROJECT_SOURCE_DIR}/data)
set(packDir ${PROJECT_BINARY_DIR}/packaging)

# Debian wants manual pages and changelogs compressed, reproducibly (-n: no name, no time).
function(gzip_for_install source output)
  add_custom_command(OUTPUT ${output}
    COMMAND ${GZIP_EXECUTABLE} -9nc ${source} > ${output}
    DEPENDS ${source} VERBATIM)
endfunction()

# One program's binary, manual page, changelog and copyright, in one component.
function(install_program target component)
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT ${component})
  gzip_for_install(${dataDir}/man/${target}.1 ${packDir}/${target}.1.gz)
  install(FILES ${packDir}/${target}.1.gz
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${component})
  list(APPEND packagingOutputs ${packDir}/${target}.1.gz)
  set(packagingOutputs ${packagingOutputs} PARENT_SCOPE)
endfunction()

function(install_package_docs component package)
  set(PACKAGE ${package})
  set(MAINTAINER ${BENCHMARK_COMPANION_MAINTAINER})
  configure_file(${dataDir}/changelog.in ${packDir}/${package}/changelog @ONLY)
  gzip_for_install(${packDir}/${package}/changelog ${packDir}/${package}/changelog.gz)
  install(FILES ${packDir}/${package}/changelog.gz ${dataDir}/copyright
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package} COMPONENT ${component})
  list(APPEND packagingOutputs ${packDir}/${package}/changelog.gz)
  set(packagingOutputs ${packagingOutputs} PARENT_SCOPE)
endfunction()

# The unit's ExecStart names the binary where this install puts it: the prefix
# is known only at install time (cpack installs under /usr, not the configured one).
function(install_service_unit)
  set(unitIn ${PROJECT_SOURCE_DIR}/service/score-service.service)
  set(unitOut ${packDir}/score-service.service)
  set(binDir ${CMAKE_INSTALL_BINDIR})
  if(NOT IS_ABSOLUTE ${binDir})
    set(binDir "\${CMAKE_INSTALL_PREFIX}/${binDir}")
  endif()
  string(CONFIGURE [[
    file(READ "@unitIn@" unit)
    string(REGEX REPLACE "ExecStart=[^ \n]*/score-service" "ExecStart=@binDir@/score-service"
           unit "${unit}")
    file(WRITE "@unitOut@" "${unit}")
  ]] code @ONLY)
  install(CODE "${code}" COMPONENT service)
  install(FILES ${unitOut} DESTINATION ${SYSTEMD_SYSTEM_UNIT_DIR} COMPONENT service)
  install(FILES ${dataDir}/score-service.sysusers RENAME score-service.conf
          DESTINATION lib/sysusers.d COMPONENT service)
endfunction()

set(packagingOutputs)
file(MAKE_DIRECTORY ${packDir})

install_program(benchmark-companion companion)
if(TARGET benchmark-companion-cli)
  install_program(benchmark-companion-cli companion)
endif()
install_package_docs(companion benchmark-companion)

set(appId ${BENCHMARK_COMPANION_APP_ID})
install(FILES ${dataDir}/${appId}.desktop
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications COMPONENT companion)
install(FILES ${dataDir}/${appId}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/metainfo COMPONENT companion)
install(FILES ${dataDir}/${appId}.svg
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/scalable/apps COMPONENT companion)

if(TARGET score-service)
  install_program(score-service service)
  install_package_docs(service score-service)
  if(EXISTS ${PROJECT_SOURCE_DIR}/service/score-service.service)
    install_service_unit()
  endif()
endif()

add_custom_target(packaging-data ALL DEPENDS ${packagingOutputs})
