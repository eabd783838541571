# SPDX-License-Identifier: MIT
# Fails when a library depends on the host's controller library by a NEEDED
# entry naming it. (Undefined symbols of the host's classes cannot get in:
# the plug-in is linked with --no-undefined.)
# cmake -DPLUGIN=<library> [-DREADELF=<readelf>] -P nohostlink.cmake
cmake_minimum_required(VERSION 3.16)

if(NOT PLUGIN OR NOT EXISTS "${PLUGIN}")
    message(FATAL_ERROR "No library to check: '${PLUGIN}'")
endif()
if(NOT READELF)
    set(READELF readelf)
endif()

execute_process(COMMAND "${READELF}" -d "${PLUGIN}"
                RESULT_VARIABLE result OUTPUT_VARIABLE dynamic ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${READELF} failed (${result}): ${errors}")
endif()
string(REGEX MATCHALL "\\(NEEDED\\)[^\n]*" needed "${dynamic}")
# A library needs at least the C library: no entries means the output went unread.
if(NOT needed)
    message(FATAL_ERROR "No NEEDED entries read from ${PLUGIN}")
endif()
foreach(entry IN LISTS needed)
    string(TOLOWER "${entry}" lower)
    if(lower MATCHES "helvor")
        message(SEND_ERROR "Links the host library: ${entry}")
    endif()
endforeach()
