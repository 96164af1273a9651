# Version resource and manifest for quillhaven.exe. Every Windows build gets
# them, so that the exe the tests run has the shape of the one that ships.
enable_language(RC)

# The copyright line of the resource is the one of the LICENSE file.
file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE QH_COPYRIGHT REGEX "^Copyright " LIMIT_COUNT 1)
if(NOT QH_COPYRIGHT)
    message(FATAL_ERROR "LICENSE has no Copyright line")
endif()

set(QH_MANIFEST ${PROJECT_SOURCE_DIR}/packaging/windows/quillhaven.exe.manifest)
set(QH_RESOURCE_SCRIPT ${PROJECT_BINARY_DIR}/generated/quillhaven.rc)
configure_file(packaging/windows/quillhaven.rc.in ${QH_RESOURCE_SCRIPT} @ONLY)
# windres reports no dependencies: a changed manifest must still rebuild.
set_source_files_properties(${QH_RESOURCE_SCRIPT} PROPERTIES OBJECT_DEPENDS ${QH_MANIFEST})
target_sources(quillhaven PRIVATE ${QH_RESOURCE_SCRIPT})
