cmake_minimum_required(VERSION 3.20)
# Fails when a file of the score service includes a room its arrows do not
# reach, or a database library outside the store. Run as:
# cmake -DROOT=<service folder> -P ServiceArrows.cmake
# The top folder wires every room; a room never includes the top folder.
set(reach_edge edge)
set(reach_rules rules)
set(reach_store store rules)
set(reach_pages pages rules store/Records.h) # the store's values, never the store
set(reach_admin admin store rules)

set(wrong "")
# SQLite, SQLiteCpp and libpq belong to the store alone: every other room, the
# admin's commands included, reaches a database through the store's interface.
file(GLOB_RECURSE everything ${ROOT}/*.h ${ROOT}/*.cpp)
foreach(file ${everything})
  if(NOT file MATCHES "/store/[^/]*$")
    file(STRINGS ${file} databases REGEX "^#include <(SQLiteCpp/|sqlite3\\.h|libpq)")
    foreach(line ${databases})
      list(APPEND wrong "${file}: only the store may include ${line}")
    endforeach()
  endif()
endforeach()
foreach(room edge rules store pages admin)
  file(GLOB files ${ROOT}/${room}/*.h ${ROOT}/${room}/*.cpp)
  foreach(file ${files})
    file(STRINGS ${file} includes REGEX "^#include \"service/")
    foreach(line ${includes})
      string(REGEX REPLACE "^#include \"service/([^\"]*)\".*" "\\1" target "${line}")
      string(REGEX MATCH "^[^/]*/" folder "${target}")
      string(REGEX REPLACE "/$" "" folder "${folder}")
      if(NOT folder IN_LIST reach_${room} AND NOT target IN_LIST reach_${room})
        list(APPEND wrong "${file}: ${room} may not include service/${target}")
      endif()
    endforeach()
  endforeach()
endforeach()
if(wrong)
  list(JOIN wrong "\n" text)
  message(FATAL_ERROR "Includes against the service's arrows:\n${text}")
endif()
