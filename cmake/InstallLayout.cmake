# InstallLayout.cmake - where an installed tree keeps what we build, and how programs find it there.
#
#   bin/                        quillora, bundlex
#   <libdir>/                   libbundlex.so (versioned), pkgconfig/bundlex.pc, cmake/Bundlex/
#   <libdir>/quillora/          quillora.ocx (the control module), uninstall, quillora-bridge, and the platform's
#                               libraries, which are ours alone and so stay out of the search path
#   include/                    bundlex.h
#
# Programs and modules find their libraries through a RUNPATH relative to $ORIGIN, so the tree
# works wherever it is unpacked (cmake --install --prefix, a package, a copy).
include(GNUInstallDirs)
set(QUILLORA_INSTALL_MODULEDIR ${CMAKE_INSTALL_LIBDIR}/quillora)
# The module folder as seen from bin/, for RUNPATHs and for the programs' own look-ups.
file(RELATIVE_PATH QUILLORA_BINDIR_TO_MODULEDIR ${CMAKE_INSTALL_FULL_BINDIR}
     ${CMAKE_INSTALL_PREFIX}/${QUILLORA_INSTALL_MODULEDIR})
