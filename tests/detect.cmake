# The stand-in for MiKTeX's findtexmf that the detection tests put at the front
# of PATH: a program of the Windows build, a shell script on the emulated
# machine (whose command interpreter is /bin/sh). Both answer
# "findtexmf.exe FILE" with the variable QH_FINDTEXMF_<FILE>, after running
# the command line in QH_FINDTEXMF_FIRST_RUN when that is set.
set(QH_FINDTEXMF_DIR ${CMAKE_CURRENT_BINARY_DIR}/findtexmf_bin)

if(WIN32)
    add_executable(qh_findtexmf_stand_in ${CMAKE_CURRENT_LIST_DIR}/detect_findtexmf_stand_in.cpp)
    set_target_properties(qh_findtexmf_stand_in PROPERTIES
        OUTPUT_NAME findtexmf
        RUNTIME_OUTPUT_DIRECTORY ${QH_FINDTEXMF_DIR})
    target_compile_options(qh_findtexmf_stand_in PRIVATE ${QH_WARNINGS})
    add_dependencies(quillhaven_tests qh_findtexmf_stand_in)
else()
    file(MAKE_DIRECTORY ${QH_FINDTEXMF_DIR})
    file(WRITE ${QH_FINDTEXMF_DIR}/findtexmf.exe [=[#!/bin/sh
[ -z "$QH_FINDTEXMF_FIRST_RUN" ] || sh -c "$QH_FINDTEXMF_FIRST_RUN" >/dev/null
variable=QH_FINDTEXMF_$(printf '%s' "$1" | tr 'a-z' 'A-Z' | tr -c 'A-Z0-9' '_')
eval "answer=\${$variable}"
[ -n "$answer" ] || exit 1
printf '%s\n' "$answer"
]=])
    file(CHMOD ${QH_FINDTEXMF_DIR}/findtexmf.exe
        PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                    WORLD_READ WORLD_EXECUTE)
endif()

target_compile_definitions(quillhaven_tests PRIVATE QH_FINDTEXMF_DIR="${QH_FINDTEXMF_DIR}")
