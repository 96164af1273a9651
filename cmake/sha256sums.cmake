# CPack post-build script: writes SHA256SUMS, in the form that `sha256sum -c`
# reads, into the folder where CPack is about to copy the packages it just
# made (they are still in its staging folder here).
set(sums "")
foreach(package IN LISTS CPACK_PACKAGE_FILES)
    file(SHA256 ${package} hash)
    get_filename_component(name ${package} NAME)
    string(APPEND sums "${hash}  ${name}\n")
endforeach()
if(NOT sums OR NOT CPACK_PACKAGE_DIRECTORY)
    message(FATAL_ERROR "CPack reported no package or no package folder")
endif()
file(WRITE ${CPACK_PACKAGE_DIRECTORY}/SHA256SUMS "${sums}")
