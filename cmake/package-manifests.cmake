# CPack post-build script of the Windows zip: writes the package managers'
# manifests beside it, from the templates in packaging/winget and
# packaging/scoop, with the zip's version, download address and SHA-256.
#   <package folder>/winget/          the manifest set: winget install --manifest <folder>
#   <package folder>/quillhaven.json  the Scoop manifest: scoop install quillhaven.json
list(LENGTH CPACK_PACKAGE_FILES package_count)
if(NOT package_count EQUAL 1)
    message(FATAL_ERROR "Expected the zip alone, CPack made: ${CPACK_PACKAGE_FILES}")
endif()
list(GET CPACK_PACKAGE_FILES 0 zip)
get_filename_component(zip_name ${zip} NAME)
file(SHA256 ${zip} QH_ZIP_SHA256)
string(TOUPPER ${QH_ZIP_SHA256} QH_ZIP_SHA256_UPPER)

set(QH_VERSION ${CPACK_PACKAGE_VERSION})
set(QH_HOMEPAGE ${CPACK_PACKAGE_HOMEPAGE_URL})
set(QH_COPYRIGHT ${CPACK_QH_COPYRIGHT})
set(QH_RELEASES_URL ${CPACK_QH_RELEASES_URL})
set(QH_RELEASE_URL ${QH_RELEASES_URL}/tag/v${QH_VERSION})
set(QH_ZIP_URL ${QH_RELEASES_URL}/download/v${QH_VERSION}/${zip_name})

set(winget ${CPACK_PACKAGE_DIRECTORY}/winget)
# The folder holds one manifest set and nothing else, as winget reads all of it.
file(REMOVE_RECURSE ${winget})
file(GLOB templates ${CPACK_QH_SOURCE_DIR}/packaging/winget/*.yaml.in)
foreach(template IN LISTS templates)
    get_filename_component(name ${template} NAME)
    string(REGEX REPLACE "\\.in$" "" name ${name})
    configure_file(${template} ${winget}/${name} @ONLY)
endforeach()
configure_file(${CPACK_QH_SOURCE_DIR}/packaging/scoop/quillhaven.json.in
               ${CPACK_PACKAGE_DIRECTORY}/quillhaven.json @ONLY)
