# Install rules shared by the folders that install something: a program into bin/ (with its
# manual page), and files Debian keeps compressed.
include(GNUInstallDirs)
find_program(HELP2MAN help2man)

# quorin_gzip(<output.gz> <input>): compresses a file at build time, without a time stamp, so
# that the package does not change from one build to the next.
function(quorin_gzip output input)
  add_custom_command(
    OUTPUT ${output}
    COMMAND gzip -9n -c ${input} > ${output}
    DEPENDS ${input}
    VERBATIM)
endfunction()

# quorin_install_manual(<page.1>): installs a manual page of section 1, compressed.
function(quorin_install_manual page)
  get_filename_component(name ${page} NAME)
  quorin_gzip(${page}.gz ${page})
  add_custom_target(manual_${name} ALL DEPENDS ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  set_property(GLOBAL APPEND PROPERTY QUORIN_MANUAL_PAGES ${name}.gz)
endfunction()

# quorin_install_program(<target> [HELP2MAN <summary>]): installs an executable into bin/. With
# HELP2MAN, its manual page is made from its --help output by help2man (summary: the page's
# one-line description), so that the page always lists the options the program has.
function(quorin_install_program target)
  cmake_parse_arguments(ARG "" "HELP2MAN" "" ${ARGN})
  install(TARGETS ${target})
  set_property(GLOBAL APPEND PROPERTY QUORIN_INSTALLED_PROGRAMS ${target})
  if(NOT ARG_HELP2MAN)
    return()
  endif()
  if(NOT HELP2MAN)
    message(WARNING "help2man not found: ${target} is installed without a manual page")
    return()
  endif()
  set(page ${CMAKE_CURRENT_BINARY_DIR}/${target}.1)
  # Run by its bare name, so that the page's usage line does not carry the build folder.
  add_custom_command(
    OUTPUT ${page}
    COMMAND ${CMAKE_COMMAND} -E env "PATH=$<TARGET_FILE_DIR:${target}>:$ENV{PATH}"
            ${HELP2MAN} --no-info --no-discard-stderr --section=1
            --version-string=${PROJECT_VERSION} --name=${ARG_HELP2MAN} --output=${page}
            $<TARGET_FILE_NAME:${target}>
    DEPENDS ${target}
    VERBATIM)
  quorin_install_manual(${page})
endfunction()
