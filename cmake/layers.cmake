# One library per folder under src/, and each sees only the headers of the
# folders below it in QH_LAYERS (and its own). Includes are written relative
# to src/ ("registry/reg_value.h"), so src/ itself on the include path would
# let every folder reach every other: instead each library gets a folder of
# its own in the build tree that links to the allowed src/ folders and to no
# others. An include against the order then fails to compile.
set(QH_LAYERS cli detect envpath regfile registry platform common)

# Sources of one folder; the platform takes only the backend of this build.
function(qh_layer_sources layer out)
    if(layer STREQUAL "platform")
        if(WIN32)
            set(backend win32)
        else()
            set(backend posix)
        endif()
        file(GLOB sources CONFIGURE_DEPENDS src/platform/*.cpp src/platform/${backend}/*.cpp)
    else()
        file(GLOB_RECURSE sources CONFIGURE_DEPENDS src/${layer}/*.cpp)
    endif()
    set(${out} ${sources} PARENT_SCOPE)
endfunction()

# From the bottom up, so that each library links to the one below it.
set(bottom_up ${QH_LAYERS})
list(REVERSE bottom_up)
set(below "")
foreach(layer IN LISTS bottom_up)
    set(view ${PROJECT_BINARY_DIR}/layers/${layer})
    file(REMOVE_RECURSE ${view})
    file(MAKE_DIRECTORY ${view})
    foreach(folder IN ITEMS ${layer} ${below})
        file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${folder} ${view}/${folder} SYMBOLIC)
    endforeach()

    qh_layer_sources(${layer} sources)
    if(sources)
        add_library(quillhaven_${layer} STATIC ${sources})
        target_include_directories(quillhaven_${layer} PRIVATE ${view})
        target_compile_options(quillhaven_${layer} PRIVATE ${QH_WARNINGS})
        set(scope PUBLIC)
    else()
        # Headers only (common today): nothing to compile.
        add_library(quillhaven_${layer} INTERFACE)
        set(scope INTERFACE)
    endif()
    if(below)
        list(GET below 0 next)
        target_link_libraries(quillhaven_${layer} ${scope} quillhaven_${next})
    endif()
    list(PREPEND below ${layer})
endforeach()

target_include_directories(quillhaven_cli PRIVATE ${PROJECT_BINARY_DIR}/generated)
if(WIN32)
    target_link_libraries(quillhaven_platform PUBLIC advapi32 shlwapi user32 kernel32)
    target_compile_definitions(quillhaven_platform PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX)
else()
    find_package(SQLite3 REQUIRED)
    target_link_libraries(quillhaven_platform PUBLIC SQLite::SQLite3)
endif()

# All layers, for what may see every folder: the executable, the tests, the
# fuzz targets.
add_library(quillhaven_core INTERFACE)
target_link_libraries(quillhaven_core INTERFACE quillhaven_cli)
target_include_directories(quillhaven_core INTERFACE src ${PROJECT_BINARY_DIR}/generated)
