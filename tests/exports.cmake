# SPDX-License-Identifier: MIT
# Fails when a library exports anything but Qt's two plug-in entry points:
# the shipped plug-in carries no test hooks and none of its classes.
# cmake -DPLUGIN=<library> [-DNM=<nm>] -P exports.cmake
cmake_minimum_required(VERSION 3.16)

if(NOT NM)
    set(NM nm)
endif()
if(NOT PLUGIN OR NOT EXISTS "${PLUGIN}")
    message(FATAL_ERROR "No library to check: '${PLUGIN}'")
endif()

execute_process(COMMAND "${NM}" -D --defined-only "${PLUGIN}"
                RESULT_VARIABLE result OUTPUT_VARIABLE defined ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${NM} failed (${result}): ${errors}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${defined}")
set(names)
foreach(line IN LISTS lines)
    # "<address> <type> <name>"; the linker's own section markers are no exports.
    if(line MATCHES "^[0-9a-fA-F]* *[A-Za-z] ([^ ]+)$")
        set(name "${CMAKE_MATCH_1}")
        if(NOT name MATCHES "^(__bss_start|_edata|_end)$")
            list(APPEND names "${name}")
        endif()
    endif()
endforeach()
list(SORT names)
set(expected qt_plugin_instance qt_plugin_query_metadata)
if(NOT names STREQUAL expected)
    message(FATAL_ERROR "Exports '${names}', expected exactly '${expected}'")
endif()
