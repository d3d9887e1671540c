# The score service is a constant of the program, chosen when it is built.
# The default never resolves, so an unconfigured build sends results nowhere.
set(SCORE_SERVICE_URL_NOWHERE "https://scores.benchmark.invalid")
set(SCORE_SERVICE_URL "${SCORE_SERVICE_URL_NOWHERE}" CACHE STRING
    "HTTPS base URL of the score service; results go to <URL>/api/submit")
set(SCORE_SERVICE_CA_FILE "" CACHE FILEPATH
    "PEM bundle of CAs trusted for the score service instead of the system store (empty: system store)")

if(NOT SCORE_SERVICE_URL MATCHES "^https://[^/?#@ ]+(/[^?# ]*)?$")
  message(FATAL_ERROR
    "SCORE_SERVICE_URL must be an https URL such as https://scores.example.com, "
    "got '${SCORE_SERVICE_URL}'.")
endif()
if(SCORE_SERVICE_URL STREQUAL SCORE_SERVICE_URL_NOWHERE)
  message(STATUS "SCORE_SERVICE_URL is not set: results go nowhere (set it to your score service)")
endif()
if(SCORE_SERVICE_URL MATCHES "[\"\\\\]")
  message(FATAL_ERROR "SCORE_SERVICE_URL must not contain quotes or backslashes.")
endif()
if(SCORE_SERVICE_CA_FILE MATCHES "[\"\\\\]")
  message(FATAL_ERROR "SCORE_SERVICE_CA_FILE must not contain quotes or backslashes.")
endif()
