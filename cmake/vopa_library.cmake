# Libraries whose layering the compiler enforces. A target gets no include folder but
# its own: a folder of links to the headers it may use — its own, and those of the
# libraries it depends on (and theirs). Including any other header of the tree fails.

# vopa_library(NAME SOURCES files... [WIN32_SOURCES files...] HEADERS files...
#              [DEPENDS vopa libraries...] [LIBS other libraries...] [STUB | STUB_ONLY])
# On Windows, STUB builds the library once more as NAME_stub, for the installer stub
# (vopa_stub_options), on the _stub builds of its dependencies; NAME stays as the
# packer links it. STUB_ONLY: only the stub and its tests link it, so NAME is built
# the stub's way alone.
function(vopa_library name)
    cmake_parse_arguments(PARSE_ARGV 1 arg "STUB;STUB_ONLY" ""
                          "SOURCES;WIN32_SOURCES;HEADERS;DEPENDS;LIBS")
    set(sources ${arg_SOURCES})
    if(WIN32)
        list(APPEND sources ${arg_WIN32_SOURCES})
    endif()
    list(TRANSFORM sources PREPEND ${CMAKE_SOURCE_DIR}/)
    if(WIN32 AND arg_STUB_ONLY)
        vopa_add_library(${name} "${sources}" "${arg_HEADERS}" "${arg_DEPENDS}" "${arg_LIBS}" _stub)
        return()
    endif()
    vopa_add_library(${name} "${sources}" "${arg_HEADERS}" "${arg_DEPENDS}" "${arg_LIBS}" "")
    if(WIN32 AND arg_STUB)
        vopa_add_library(${name}_stub "${sources}" "${arg_HEADERS}" "${arg_DEPENDS}" "${arg_LIBS}"
                         _stub)
    endif()
endfunction()

# The library `name` on the `suffix` builds of `depends` (suffix _stub: for the stub).
function(vopa_add_library name sources headers depends libs suffix)
    list(TRANSFORM depends APPEND "${suffix}")
    add_library(${name} STATIC ${sources})
    target_link_libraries(${name} PUBLIC ${depends} ${libs})
    if(suffix STREQUAL "_stub")
        vopa_stub_options(${name})
    endif()
    vopa_visible_headers(visible ${depends})
    list(APPEND visible ${headers})
    list(REMOVE_DUPLICATES visible)
    set_target_properties(${name} PROPERTIES VOPA_HEADERS "${visible}")
    vopa_header_folder(${name} ${visible})
endfunction()

# Every installer carries the stub before its first byte of product, so the stub's code
# has no exceptions, RTTI or unwind tables, and each function has a section of its own
# for the linker to drop when nothing calls it. (Not each datum: GCC then puts zeroed
# data, 8 KB of CRC tables, in the file.) What the C++ library's failures do instead:
# app/stub/stub_runtime.h. On x86-64 the unwind data is part of Windows' calling convention
# (the system walks stacks by it), so the 64-bit build keeps it.
function(vopa_stub_options target)
    target_compile_options(${target} PRIVATE -fno-exceptions -fno-rtti -ffunction-sections)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        target_compile_options(${target} PRIVATE -fno-asynchronous-unwind-tables)
    endif()
endfunction()

# vopa_program(TARGET [HEADERS files...] USES vopa libraries...): an executable or
# test target (already added) that links the libraries and sees their headers.
function(vopa_program target)
    cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "HEADERS;USES")
    target_link_libraries(${target} PRIVATE ${arg_USES})
    vopa_visible_headers(visible ${arg_USES})
    list(APPEND visible ${arg_HEADERS})
    list(REMOVE_DUPLICATES visible)
    vopa_header_folder(${target} ${visible})
endfunction()

function(vopa_visible_headers out)
    set(headers "")
    foreach(library ${ARGN})
        if(TARGET ${library})
            get_target_property(h ${library} VOPA_HEADERS)
            if(h)
                list(APPEND headers ${h})
            endif()
        endif()
    endforeach()
    set(${out} ${headers} PARENT_SCOPE)
endfunction()

function(vopa_header_folder target)
    set(folder ${CMAKE_BINARY_DIR}/headers/${target})
    file(REMOVE_RECURSE ${folder})
    foreach(header ${ARGN})
        get_filename_component(sub ${header} DIRECTORY)
        file(MAKE_DIRECTORY ${folder}/${sub})
        file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${header} ${folder}/${header} SYMBOLIC)
    endforeach()
    target_include_directories(${target} PRIVATE ${folder})
endfunction()
