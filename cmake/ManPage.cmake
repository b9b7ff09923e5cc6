# pinrova_add_man_page(TARGET NAME "one-line description" COMPONENT component)
#
# Builds TARGET's manual page (section 1) from its --help with help2man, compressed as Debian
# wants it, and installs it with COMPONENT. Without help2man the page is left out, and said so.
include(GNUInstallDirs)
find_program(PINROVA_HELP2MAN help2man)

function(pinrova_add_man_page target)
    cmake_parse_arguments(PARSE_ARGV 1 arg "" "NAME;COMPONENT" "")
    if(NOT PINROVA_HELP2MAN)
        message(STATUS "help2man not found: ${target} gets no manual page")
        return()
    endif()
    set(page ${CMAKE_CURRENT_BINARY_DIR}/${target}.1)
    # Run by name from PATH, so the usage line shows the program's name and not the build path;
    # offscreen, because a GUI application needs a platform even to print its options.
    add_custom_command(
        OUTPUT ${page}.gz
        COMMAND ${CMAKE_COMMAND} -E env "PATH=$<TARGET_FILE_DIR:${target}>:/usr/bin:/bin"
                QT_QPA_PLATFORM=offscreen
                ${PINROVA_HELP2MAN} --no-info
                "--version-string=${PROJECT_VERSION}" "--name=${arg_NAME}"
                "--output=${page}" ${target}
        COMMAND gzip -9nf ${page}
        DEPENDS ${target}
        COMMENT "Writing the manual page of ${target}"
        VERBATIM)
    add_custom_target(${target}_manpage ALL DEPENDS ${page}.gz)
    install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${arg_COMPONENT})
endfunction()
