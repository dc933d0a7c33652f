# The Debian package (scripts/package builds it): what a Debian install
# adds to the program's own install rules, and CPack's DEB settings.
set(KINOLARK_HOMEPAGE "https://www.lumovane.com/kinolark/")
set(KINOLARK_MAINTAINER "Lumovane <kinolark@lumovane.com>")

set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# Manual page and changelog go in compressed, without a time stamp, so the
# same sources give the same package.
set(packaging ${PROJECT_SOURCE_DIR}/packaging)
set(compressed ${PROJECT_BINARY_DIR}/packaging)
add_custom_command(
    OUTPUT ${compressed}/kinolark.1.gz ${compressed}/changelog.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${compressed}
    COMMAND sh -c "gzip -9nc < \"$0\" > \"$1\"" ${PROJECT_SOURCE_DIR}/data/kinolark.1 ${compressed}/kinolark.1.gz
    COMMAND sh -c "gzip -9nc < \"$0\" > \"$1\"" ${packaging}/changelog ${compressed}/changelog.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/data/kinolark.1 ${packaging}/changelog
    VERBATIM)
add_custom_target(kinolark_compressed_docs ALL DEPENDS ${compressed}/kinolark.1.gz ${compressed}/changelog.gz)

install(FILES ${compressed}/kinolark.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${packaging}/copyright ${compressed}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kinolark)
set(CPACK_PACKAGE_VENDOR Lumovane)
set(CPACK_PACKAGE_CONTACT ${KINOLARK_MAINTAINER})
set(CPACK_PACKAGE_HOMEPAGE_URL ${KINOLARK_HOMEPAGE})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop client for the Lumovane movie catalogue")
set(CPACK_PACKAGE_DESCRIPTION_FILE ${packaging}/description)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Linked libraries are found from the binary; what is opened at run time is
# not: the SQLite driver, the platform plugins, and libmpv, opened on first
# play (its package is the one holding the library built against).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
find_library(KINOLARK_MPV_FILE mpv HINTS ${MPV_LIBRARY_DIRS})
get_filename_component(mpv_real "${KINOLARK_MPV_FILE}" REALPATH)
execute_process(COMMAND dpkg-query -S ${mpv_real} OUTPUT_VARIABLE mpv_owner OUTPUT_STRIP_TRAILING_WHITESPACE
                RESULT_VARIABLE mpv_found ERROR_QUIET)
string(REGEX REPLACE ":.*" "" mpv_package "${mpv_owner}")
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite, qt6-qpa-plugins")
if(mpv_found EQUAL 0 AND NOT mpv_package STREQUAL "")
    string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", ${mpv_package}")
else()
    message(WARNING "no Debian package holds ${mpv_real}: a package made here would not depend on libmpv")
endif()
# FFmpeg's libraries, opened at the first download, by the packages that
# hold those built against.
foreach(av avformat avcodec avutil)
    find_library(KINOLARK_${av}_FILE ${av} HINTS ${AVFORMAT_LIBRARY_DIRS})
    get_filename_component(av_real "${KINOLARK_${av}_FILE}" REALPATH)
    execute_process(COMMAND dpkg-query -S ${av_real} OUTPUT_VARIABLE av_owner OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE av_found ERROR_QUIET)
    string(REGEX REPLACE ":.*" "" av_package "${av_owner}")
    if(av_found EQUAL 0 AND NOT av_package STREQUAL "")
        string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", ${av_package}")
    else()
        message(WARNING "no Debian package holds ${av_real}: a package made here would not depend on it")
    endif()
endforeach()
# Used when present: Chinese and emoji glyphs, Qt's own texts in Chinese,
# and the pinyin readings for the suggestions.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "fonts-wqy-zenhei, fonts-noto-color-emoji, qt6-translations-l10n, rime-data-pinyin-simp")
include(CPack)
