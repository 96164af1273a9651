# What `cmake --build <dir> --target package` makes: on Windows a zip of the
# exe with README and LICENSE, natively a Debian package. Both get a
# SHA256SUMS file beside them, the zip also the package managers' manifests.
# With QUILLHAVEN_PACKAGE_DOCS (the release presets) both also ship the
# manual page and the changelog.
include(GNUInstallDirs)

set(CPACK_PACKAGE_NAME quillhaven)
set(CPACK_PACKAGE_VENDOR "the Quillhaven authors")
set(CPACK_PACKAGE_CONTACT "the Quillhaven authors <quillhaven@example.org>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://quillhaven.example.org/")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR})
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/sha256sums.cmake)
# Only the targets' own install rules: none of the test tools ship.
set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};${PROJECT_NAME};quillhaven;/")

if(WIN32)
    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_FILE_NAME quillhaven-${PROJECT_VERSION}-win64)
    # The files sit at the top of the zip: Explorer's "Extract All" already
    # puts them into a folder named after the zip.
    set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
    install(TARGETS quillhaven RUNTIME DESTINATION . COMPONENT quillhaven)
    install(FILES README.md LICENSE DESTINATION . COMPONENT quillhaven)
    list(APPEND CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/package-manifests.cmake)
    # Read by that script.
    set(CPACK_QH_SOURCE_DIR ${PROJECT_SOURCE_DIR})
    set(CPACK_QH_RELEASES_URL ${QUILLHAVEN_RELEASES_URL})
    set(CPACK_QH_COPYRIGHT ${QH_COPYRIGHT})
else()
    set(CPACK_GENERATOR DEB)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SECTION utils)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_STRIP_FILES ON)
    set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
        "edit Windows environment variables and registry on an emulated machine")
    # One line each in the control file's description.
    string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
        "Quillhaven is the command-line tool that installers and batch files run"
        "on Windows to add directories to PATH and other variables, to set and"
        "read registry values and to import registry-editor files."
        "This native build works on an emulated Windows machine kept in one"
        "folder (QUILLHAVEN_ROOT): a SQLite registry seeded like a fresh"
        "installation, and drive letters mapped to folders. It is a sandbox for"
        "trying registry files and installer command lines without Windows.")
    install(TARGETS quillhaven RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT quillhaven)
    install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright
            COMPONENT quillhaven)
endif()

if(QUILLHAVEN_PACKAGE_DOCS)
    include(${CMAKE_CURRENT_LIST_DIR}/package-docs.cmake)
endif()

include(CPack)
