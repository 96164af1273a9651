# The command lines of docs/recipes.md, run by the unit test binary on the
# machine of the tests (the emulated one, or Wine's).
target_sources(quillhaven_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/release/recipes_test.cpp)
