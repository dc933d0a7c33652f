# Common compile settings for every target of the project.
add_library(kinolark_warnings INTERFACE)
target_compile_options(kinolark_warnings INTERFACE -Wall -Wextra -Wpedantic -Wshadow)
if(KINOLARK_WERROR)
    target_compile_options(kinolark_warnings INTERFACE -Werror)
endif()
target_compile_definitions(kinolark_warnings INTERFACE QT_USE_QSTRINGBUILDER QT_NO_FOREACH)

# Program code spells out every conversion from bytes to text; tests may use
# plain string literals.
add_library(kinolark_strict_strings INTERFACE)
target_compile_definitions(kinolark_strict_strings INTERFACE
    QT_NO_CAST_FROM_ASCII QT_NO_CAST_FROM_BYTEARRAY QT_NO_URL_CAST_FROM_STRING)

# kinolark_library(name SOURCES ... LIBS ...)
function(kinolark_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src ${PROJECT_BINARY_DIR}/src)
    target_link_libraries(${name} PUBLIC ${ARG_LIBS} PRIVATE kinolark_warnings kinolark_strict_strings)
endfunction()
