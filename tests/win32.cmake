# Windows build only: a small program that the Wine tests start as a child to
# see what a freshly started process sees (its arguments, its Windows family,
# the operation scope of a second run).
if(WIN32)
    add_executable(qh_win32_probe ${CMAKE_CURRENT_SOURCE_DIR}/win32/probe/probe_main.cpp)
    target_link_libraries(qh_win32_probe PRIVATE quillhaven_core)
    target_compile_options(qh_win32_probe PRIVATE ${QH_WARNINGS})
    target_compile_definitions(quillhaven_tests PRIVATE
        QH_WIN32_PROBE_EXE="$<TARGET_FILE:qh_win32_probe>")
    add_dependencies(quillhaven_tests qh_win32_probe)
endif()
