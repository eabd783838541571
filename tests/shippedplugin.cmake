# SPDX-License-Identifier: MIT
# Checks the shipped plug-in's dynamic section:
#   CHECK=links    fails when a NEEDED entry names the host's controller
#                  library, which the host supplies at run time (undefined
#                  symbols of its classes cannot get in: the plug-in is
#                  linked with --no-undefined);
#   CHECK=exports  fails when it exports anything but Qt's two plug-in
#                  entry points: no test hooks, none of its classes.
# cmake -DCHECK=links|exports -DPLUGIN=<library> [-DREADELF=<readelf>] [-DNM=<nm>] -P shippedplugin.cmake
cmake_minimum_required(VERSION 3.16)

if(NOT PLUGIN OR NOT EXISTS "${PLUGIN}")
    message(FATAL_ERROR "No library to check: '${PLUGIN}'")
endif()

# Runs a tool on the plug-in; its output goes to the variable named out.
function(read_plugin out)
    execute_process(COMMAND ${ARGN} "${PLUGIN}" RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "${ARGV1} failed (${result}): ${errors}")
    endif()
    set(${out} "${output}" PARENT_SCOPE)
endfunction()

if(CHECK STREQUAL "links")
    if(NOT READELF)
        set(READELF readelf)
    endif()
    read_plugin(dynamic "${READELF}" -d)
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
elseif(CHECK STREQUAL "exports")
    if(NOT NM)
        set(NM nm)
    endif()
    read_plugin(defined "${NM}" -D --defined-only)
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
else()
    message(FATAL_ERROR "CHECK must be links or exports, not '${CHECK}'")
endif()
