# Where `make install` and the Debian package put things, relative to the
# prefix (/usr/local for make install, /usr in the package). The installed
# tree has the build tree's shape, bin/ beside lib/, so that the programs and
# the library find their helpers the same way in both:
#
#   bin/          the programs, and onexrev-matreader, which the library finds
#                 as ../bin from its own folder and a program beside itself
#   lib/          libOneX_Rev_b_lib.so.<major> (and the .so link for building)
#   lib/onexrev/  the shared modules the programs load (libonexrev-plot.so),
#                 found through the programs' RUNPATH $ORIGIN/../lib/onexrev
#                 (and $ORIGIN/../lib for the library: a /usr/local install
#                 then runs before ldconfig has seen it)
#
# lib/ rather than Debian's multiarch lib/<triplet>/, also under /usr: the
# reader program is looked for one level up from the library's folder.

if(NOT DEFINED CMAKE_INSTALL_LIBDIR)
    set(CMAKE_INSTALL_LIBDIR lib CACHE PATH "Object code libraries (lib)")
endif()
include(GNUInstallDirs)

# An install() without COMPONENT belongs to the main package: a program or
# module added later is packaged without further ado.
set(CMAKE_INSTALL_DEFAULT_COMPONENT_NAME runtime)

set(ONEX_INSTALL_MODULEDIR ${CMAKE_INSTALL_LIBDIR}/onexrev)
# Debian's place for a package's documents, named after the package.
set(ONEX_INSTALL_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/onexrev)
file(RELATIVE_PATH _onex_modules_from_bin /p/${CMAKE_INSTALL_BINDIR} /p/${ONEX_INSTALL_MODULEDIR})
file(RELATIVE_PATH _onex_libs_from_bin /p/${CMAKE_INSTALL_BINDIR} /p/${CMAKE_INSTALL_LIBDIR})
set(ONEX_PROGRAM_INSTALL_RPATH "$ORIGIN/${_onex_modules_from_bin}" "$ORIGIN/${_onex_libs_from_bin}")
