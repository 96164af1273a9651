# Registry-editor files made by Wine's own reg and regedit, imported with
# +regf; only the Windows build has them.
if(WIN32 AND CMAKE_CROSSCOMPILING)
    add_test(NAME regfile_wine_roundtrip
        COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/regfile_wine_roundtrip.sh
                ${CMAKE_BINARY_DIR}/wine-run $<TARGET_FILE:quillhaven>
                ${CMAKE_CURRENT_BINARY_DIR}/regfile_roundtrip)
    set_tests_properties(regfile_wine_roundtrip PROPERTIES TIMEOUT 600)
endif()
