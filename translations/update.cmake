# SPDX-License-Identifier: MIT
# Refreshes one catalogue from the module's sources:
#   cmake -DLUPDATE=<lupdate> -DSOURCE_DIR=<project root> -DTS_FILE=<file.ts> -P update.cmake
# The build's translations_update target and the catalogue test both run
# this script, so the catalogues are always extracted the same way.
foreach(variable LUPDATE SOURCE_DIR TS_FILE)
    if(NOT DEFINED ${variable})
        message(FATAL_ERROR "update.cmake needs -D${variable}=...")
    endif()
endforeach()

# The project root goes on the include path so that lupdate reads
# panel/widget.h while it parses the private class: without it lupdate
# cannot tell that Widget::Private lies inside namespace Vorlan and files
# the texts under "Widget::Private", a context tr() never asks for.
execute_process(
    COMMAND ${LUPDATE} -no-obsolete -locations relative -I ${SOURCE_DIR}
            ${SOURCE_DIR}/plugin ${SOURCE_DIR}/panel -ts ${TS_FILE}
    RESULT_VARIABLE result
    OUTPUT_VARIABLE output
    ERROR_VARIABLE output)
message(STATUS "${output}")
if(NOT result EQUAL 0)
    message(FATAL_ERROR "lupdate failed (${result}) on ${TS_FILE}")
endif()
# These warnings mean a class was not recognised, and so a context is wrong.
if(output MATCHES "unknown namespace|undeclared qualified class")
    message(FATAL_ERROR "lupdate could not place every text in its class context")
endif()
