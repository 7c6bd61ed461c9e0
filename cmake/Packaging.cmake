# What `make install` installs, and the Debian packages `make package` makes
# from it with CPack (cmake/InstallLayout.cmake has the layout):
#
#   onexrev      component runtime: the programs, the library, the shared
#                modules, the Python module, the desktop entry, icons,
#                AppStream data, manual pages, bash completion, documents
#   onexrev-dev  component dev: headers, the .so link, pkg-config and CMake
#                package files
#
# Everything is installed by target, so a program's or module's new
# dependencies and a new module need no edit here.

# --- programs and modules ---

set(_onex_programs onexrev-cli tarn-sim onexrev-matreader)
if(TARGET onexrev)
    list(APPEND _onex_programs onexrev)
endif()

# Every shared library or module of the tree that has no install rule of its
# own: the libraries the programs load (the plot renderer, ...). They go to
# the private module folder, which the programs' RUNPATH names.
function(_onex_collect_modules dir out)
    get_property(_targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
    set(_found)
    foreach(_t IN LISTS _targets)
        get_target_property(_type ${_t} TYPE)
        if(_type MATCHES "^(SHARED|MODULE)_LIBRARY$"
           AND NOT _t STREQUAL "OneX_Rev_b_lib" AND NOT _t STREQUAL "onexrev_python")
            list(APPEND _found ${_t})
        endif()
    endforeach()
    get_property(_subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
    foreach(_sub IN LISTS _subdirs)
        _onex_collect_modules(${_sub} _more)
        list(APPEND _found ${_more})
    endforeach()
    set(${out} ${_found} PARENT_SCOPE)
endfunction()
_onex_collect_modules(${PROJECT_SOURCE_DIR} _onex_modules)

# A module is loaded by its bare name (dlopen), which the installed program's
# RUNPATH resolves; in the build tree the programs look in ../lib.
set_target_properties(${_onex_programs} PROPERTIES INSTALL_RPATH "${ONEX_PROGRAM_INSTALL_RPATH}")
install(TARGETS ${_onex_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(_onex_modules)
    install(TARGETS ${_onex_modules}
        LIBRARY DESTINATION ${ONEX_INSTALL_MODULEDIR} NAMELINK_SKIP)
endif()

# --- manual pages and completion, made from the programs' own help ---

# Running the programs at build time is of no use in the sanitizer tree.
if(ONEX_SANITIZE)
    set(_onex_docs_default OFF)
else()
    set(_onex_docs_default ON)
endif()
option(ONEX_BUILD_DOCS "Make the manual pages and the bash completion (needs help2man, python3)"
       ${_onex_docs_default})

set(_onex_missing)
set(_onex_man_pages)
if(ONEX_BUILD_DOCS)
    find_program(ONEX_HELP2MAN help2man)
    find_package(Python3 COMPONENTS Interpreter QUIET)
    if(NOT ONEX_HELP2MAN)
        list(APPEND _onex_missing "help2man (Debian: help2man)")
    endif()
    if(NOT Python3_Interpreter_FOUND)
        list(APPEND _onex_missing "python3")
    endif()
else()
    list(APPEND _onex_missing "ONEX_BUILD_DOCS=ON")
endif()

set(_onex_man_dir ${CMAKE_BINARY_DIR}/man)
set(_onex_cli_help ${PROJECT_SOURCE_DIR}/packaging/cli_help.py)
if(NOT _onex_missing)
    file(MAKE_DIRECTORY ${_onex_man_dir} ${CMAKE_BINARY_DIR}/completion)
    # The verbs' own help, as a section of onexrev-cli(1), and the completion.
    add_custom_command(
        OUTPUT ${_onex_man_dir}/onexrev-cli-verbs.h2m ${CMAKE_BINARY_DIR}/completion/onexrev-cli
        COMMAND ${Python3_EXECUTABLE} ${_onex_cli_help} $<TARGET_FILE:onexrev-cli>
                --man-include ${_onex_man_dir}/onexrev-cli-verbs.h2m
                --completion ${CMAKE_BINARY_DIR}/completion/onexrev-cli
        DEPENDS onexrev-cli ${_onex_cli_help}
        COMMENT "Reading onexrev-cli's help for its manual page and completion"
        VERBATIM)
    # onexrev(1), onexrev-cli(1), tarn-sim(1): help2man runs --help and
    # --version; packaging/NAME.h2m adds what the help does not say.
    foreach(_prog onexrev onexrev-cli tarn-sim)
        if(NOT TARGET ${_prog})
            continue()
        endif()
        set(_includes --include=${PROJECT_SOURCE_DIR}/packaging/${_prog}.h2m)
        set(_depends ${_prog} ${PROJECT_SOURCE_DIR}/packaging/${_prog}.h2m)
        if(_prog STREQUAL "onexrev-cli")
            list(APPEND _includes --include=${_onex_man_dir}/onexrev-cli-verbs.h2m)
            list(APPEND _depends ${_onex_man_dir}/onexrev-cli-verbs.h2m)
        endif()
        add_custom_command(
            OUTPUT ${_onex_man_dir}/${_prog}.1.gz
            # Offscreen: onexrev answers before Qt starts, but never needs a display.
            COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
                    ${ONEX_HELP2MAN} --no-info --no-discard-stderr ${_includes}
                    --output=${_onex_man_dir}/${_prog}.1 $<TARGET_FILE:${_prog}>
            COMMAND gzip -9 -n -f ${_onex_man_dir}/${_prog}.1
            DEPENDS ${_depends}
            COMMENT "Manual page ${_prog}(1)"
            VERBATIM)
        list(APPEND _onex_man_pages ${_onex_man_dir}/${_prog}.1.gz)
    endforeach()
    add_custom_command(
        OUTPUT ${_onex_man_dir}/onexrev-matreader.1.gz
        COMMAND gzip -9 -n -c ${PROJECT_SOURCE_DIR}/packaging/onexrev-matreader.1
                > ${_onex_man_dir}/onexrev-matreader.1.gz
        DEPENDS ${PROJECT_SOURCE_DIR}/packaging/onexrev-matreader.1
        VERBATIM)
    list(APPEND _onex_man_pages ${_onex_man_dir}/onexrev-matreader.1.gz)
    add_custom_target(onex_docs ALL DEPENDS ${_onex_man_pages} ${CMAKE_BINARY_DIR}/completion/onexrev-cli)
    install(FILES ${_onex_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    install(FILES ${CMAKE_BINARY_DIR}/completion/onexrev-cli
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
else()
    message(STATUS "No manual pages and no completion (missing: ${_onex_missing}); "
                   "make package needs them")
endif()

# --- desktop integration and documents ---

set(ONEX_APP_ID com.wavecraft.onexrev)
if(TARGET onexrev)
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/${ONEX_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${PROJECT_SOURCE_DIR}/packaging/${ONEX_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
    install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/onexrev.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
    install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/onexrev-256.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps RENAME onexrev.png)
endif()

# Debian wants a copyright file and a compressed changelog in each package's
# document folder; it is built with everything else so that every install
# (whole or by component) finds it.
string(TIMESTAMP ONEX_PACKAGE_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.in ${CMAKE_BINARY_DIR}/packaging/changelog @ONLY)
set(_onex_changelog ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(
    OUTPUT ${_onex_changelog}
    COMMAND gzip -9 -n -f -k ${CMAKE_BINARY_DIR}/packaging/changelog
    DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog
    VERBATIM)
add_custom_target(onex_changelog ALL DEPENDS ${_onex_changelog})
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/packaging/copyright
    DESTINATION ${ONEX_INSTALL_DOCDIR})
install(FILES ${_onex_changelog} DESTINATION ${ONEX_INSTALL_DOCDIR})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${_onex_changelog}
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/onexrev-dev COMPONENT dev EXCLUDE_FROM_ALL)

# --- the Debian packages ---

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME onexrev)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Wavecraft)
set(ONEX_PACKAGE_MAINTAINER "onexrev maintainers <onexrev@example.org>" CACHE STRING
    "Maintainer field of the Debian packages")
set(CPACK_PACKAGE_CONTACT "${ONEX_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_OUTPUT_FILE_PREFIX .)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME onexrev)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION science)
# The first line of each description is the package's synopsis.
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION
    "1xEV-DO reverse-link signal generation for TARN-family ARB generators
Computes one frame of a cdma2000 1xEV-DO reverse-link baseband waveform
from a parameter set and downloads it to a TARN-family ARB signal generator
over LAN, RS-232 or GPIB. Contains the desktop application onexrev, the
command-line tool onexrev-cli, the instrument simulator tarn-sim, the C
library OneX_Rev_b_lib and the Python module onexrev.")
# The run-time libraries come from dpkg-shlibdeps. It cannot see the Python
# module's interpreter (the module is built for one python3 version and
# imports numpy), so those are named here.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_LIBRARY_OUTPUT_DIRECTORY})
if(TARGET onexrev_python)
    string(REPLACE "." ";" _onex_py ${ONEX_PYTHON_VERSION})
    list(GET _onex_py 0 _onex_py_major)
    list(GET _onex_py 1 _onex_py_minor)
    math(EXPR _onex_py_next "${_onex_py_minor} + 1")
    set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS
        "python3 (>= ${ONEX_PYTHON_VERSION}~), python3 (<< ${_onex_py_major}.${_onex_py_next}), python3-numpy")
endif()
# The shlibs file for the public library, and the ldconfig trigger with it
# (CPack's own postinst/postrm call ldconfig as well).
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/triggers)

set(CPACK_DEBIAN_DEV_PACKAGE_NAME onexrev-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "onexrev (= ${PROJECT_VERSION})")
set(CPACK_COMPONENT_DEV_DESCRIPTION
    "Development files of OneX_Rev_b_lib (1xEV-DO reverse-link signal generation)
Headers, the pkg-config file and the CMake package configuration for
building host programs of the C library OneX_Rev_b_lib.")

# cpack runs the preinstall target first, which would otherwise build
# everything (tests, benchmarks); make package builds what is installed.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
include(CPack)

# What the package holds, built without the tests and benchmarks: make
# package builds this and runs cpack.
add_custom_target(onex_package_contents)
add_dependencies(onex_package_contents onex_programs OneX_Rev_b_lib onex_changelog ${_onex_modules})
if(TARGET onexrev_python)
    add_dependencies(onex_package_contents onexrev_python)
endif()
if(_onex_missing)
    add_custom_command(TARGET onex_package_contents POST_BUILD
        COMMAND ${CMAKE_COMMAND} -E echo "make package needs: ${_onex_missing}"
        COMMAND false
        VERBATIM)
else()
    add_dependencies(onex_package_contents onex_docs)
endif()
