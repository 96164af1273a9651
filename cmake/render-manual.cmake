# Renders the manual page as plain text, for the zip:
#   cmake -DMANUAL=<quillhaven.1> -DTEXT=<quillhaven.txt> -P render-manual.cmake
# No bold, underline or escape sequences: Notepad shows the text as it is.
# A warning of groff (an unknown macro) fails the build, so that a fault in the page is seen.
find_program(GROFF groff REQUIRED)
execute_process(
    COMMAND ${GROFF} -man -Tascii -wmac -P-c -P-b -P-o -P-u ${MANUAL}
    OUTPUT_FILE ${TEXT}
    ERROR_VARIABLE warnings
    RESULT_VARIABLE failed)
if(failed OR warnings)
    file(REMOVE ${TEXT})
    message(FATAL_ERROR "groff failed on ${MANUAL}: ${warnings}")
endif()
