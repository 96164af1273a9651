# The manual page and the changelog that the packages ship, each made from
# its one source: docs/quillhaven.1.in and CHANGELOG.md. The zip gets the
# manual as plain text and CHANGELOG.md as it is; the Debian package gets
# both compressed, the changelog in Debian's form.
set(QH_DOCS ${PROJECT_BINARY_DIR}/generated/docs)

# The manual's date is the newest release's in CHANGELOG.md.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/CHANGELOG.md)
file(STRINGS ${PROJECT_SOURCE_DIR}/CHANGELOG.md QH_NEWEST_RELEASE REGEX "^## \\[[0-9]"
     LIMIT_COUNT 1)
string(REGEX MATCH "[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]" QH_RELEASE_DATE
       "${QH_NEWEST_RELEASE}")
if(NOT QH_RELEASE_DATE)
    message(FATAL_ERROR "CHANGELOG.md: no dated release")
endif()
configure_file(docs/quillhaven.1.in ${QH_DOCS}/quillhaven.1 @ONLY)

if(WIN32)
    add_custom_command(
        OUTPUT ${QH_DOCS}/quillhaven.txt
        COMMAND ${CMAKE_COMMAND} -DMANUAL=${QH_DOCS}/quillhaven.1 -DTEXT=${QH_DOCS}/quillhaven.txt
                -P ${CMAKE_CURRENT_LIST_DIR}/render-manual.cmake
        DEPENDS ${QH_DOCS}/quillhaven.1 ${CMAKE_CURRENT_LIST_DIR}/render-manual.cmake
        COMMENT "Rendering the manual page as text" VERBATIM)
    add_custom_target(package_docs ALL DEPENDS ${QH_DOCS}/quillhaven.txt)
    install(FILES ${QH_DOCS}/quillhaven.txt CHANGELOG.md DESTINATION . COMPONENT quillhaven)
else()
    find_package(Python3 REQUIRED COMPONENTS Interpreter)
    find_program(QH_GZIP gzip REQUIRED)
    # gzip -n: no name and no time stamp, so the package is the same each time.
    add_custom_command(
        OUTPUT ${QH_DOCS}/quillhaven.1.gz
        COMMAND ${QH_GZIP} -9nkf ${QH_DOCS}/quillhaven.1
        DEPENDS ${QH_DOCS}/quillhaven.1 VERBATIM)
    add_custom_command(
        OUTPUT ${QH_DOCS}/changelog.gz
        COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/packaging/debian/changelog.py
                ${PROJECT_SOURCE_DIR}/CHANGELOG.md ${PROJECT_VERSION} "${CPACK_PACKAGE_CONTACT}"
                ${QH_DOCS}/changelog
        COMMAND ${QH_GZIP} -9nkf ${QH_DOCS}/changelog
        DEPENDS ${PROJECT_SOURCE_DIR}/CHANGELOG.md ${PROJECT_SOURCE_DIR}/packaging/debian/changelog.py
        COMMENT "Writing the Debian changelog" VERBATIM)
    add_custom_target(package_docs ALL DEPENDS ${QH_DOCS}/quillhaven.1.gz ${QH_DOCS}/changelog.gz)
    install(FILES ${QH_DOCS}/quillhaven.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
            COMPONENT quillhaven)
    install(FILES ${QH_DOCS}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT quillhaven)
endif()
