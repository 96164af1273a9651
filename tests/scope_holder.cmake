# The helper that holds the operation scope for the lock-wait tests: natively a
# small program over SQLite; under Windows the probe's "hold" mode (win32.cmake).
if(NOT WIN32)
    add_executable(qh_scope_holder ${CMAKE_CURRENT_LIST_DIR}/posix/scope_holder/scope_holder_main.cpp)
    target_link_libraries(qh_scope_holder PRIVATE SQLite::SQLite3)
    target_compile_options(qh_scope_holder PRIVATE ${QH_WARNINGS})
    target_compile_definitions(quillhaven_tests PRIVATE
        QH_SCOPE_HOLDER_EXE="$<TARGET_FILE:qh_scope_holder>")
    add_dependencies(quillhaven_tests qh_scope_holder)
endif()
