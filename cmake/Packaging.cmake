# What the Debian package carries beside the programs (copyright, changelog, manual pages), and
# the package itself: `make package`, or `cpack -G DEB` in the package build's folder.
# Who makes the program, in the copyright and as the package's vendor.
set(NUV_AUTHORS "NUV printer tool developers")
set(NUV_MAINTAINER "${NUV_AUTHORS} <maintainers@nuv-printer-tool.org>"
    CACHE STRING "The package's maintainer: a name and a mail address")

set(nuv_doc_dir ${CMAKE_INSTALL_DATADIR}/doc/${NUV_PACKAGE_NAME})
set(nuv_man_dir ${CMAKE_INSTALL_MANDIR}/man1)
set(nuv_pack ${PROJECT_BINARY_DIR}/packaging)
# The packaging's own revision of a release (the Debian revision): 0.1.0-1.
set(NUV_PACKAGE_RELEASE 1)
# The release's date, in the changelog and the manual pages, so that the package is reproducible.
set(NUV_RELEASE_EPOCH 1796774400)
set(nuv_saved_epoch "$ENV{SOURCE_DATE_EPOCH}")
set(ENV{SOURCE_DATE_EPOCH} ${NUV_RELEASE_EPOCH})
string(TIMESTAMP NUV_RELEASE_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
string(TIMESTAMP NUV_RELEASE_MONTH "%B %Y" UTC)
set(ENV{SOURCE_DATE_EPOCH} "${nuv_saved_epoch}")
configure_file(packaging/copyright.in ${nuv_pack}/copyright @ONLY)
configure_file(packaging/changelog.in ${nuv_pack}/changelog.Debian @ONLY)
configure_file(packaging/NUV_II_Tool.1.in ${nuv_pack}/NUV_II_Tool.1 @ONLY)

# Compressed as Debian wants them: maximum compression, no name or time stamp inside.
find_program(NUV_GZIP gzip REQUIRED)
find_program(NUV_HELP2MAN help2man REQUIRED)
set(nuv_pack_files ${nuv_pack}/changelog.Debian.gz ${nuv_pack}/NUV_II_Tool.1.gz)
add_custom_command(OUTPUT ${nuv_pack}/changelog.Debian.gz
    COMMAND ${NUV_GZIP} -9nc changelog.Debian > changelog.Debian.gz
    DEPENDS ${nuv_pack}/changelog.Debian WORKING_DIRECTORY ${nuv_pack} VERBATIM)
add_custom_command(OUTPUT ${nuv_pack}/NUV_II_Tool.1.gz
    COMMAND ${NUV_GZIP} -9nc NUV_II_Tool.1 > NUV_II_Tool.1.gz
    DEPENDS ${nuv_pack}/NUV_II_Tool.1 WORKING_DIRECTORY ${nuv_pack} VERBATIM)
# The command-line programs' pages come from their own --help, so they never disagree with it.
foreach(program nuvctl printer-sim)
    if(NOT TARGET ${program})
        continue()
    endif()
    get_target_property(summary ${program} NUV_MAN_SUMMARY)
    add_custom_command(OUTPUT ${nuv_pack}/${program}.1.gz
        COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${NUV_RELEASE_EPOCH} QT_QPA_PLATFORM=offscreen
            ${NUV_HELP2MAN} --no-info --no-discard-stderr --name=${summary}
            --version-string=${PROJECT_VERSION} --output=${program}.1 $<TARGET_FILE:${program}>
        COMMAND ${NUV_GZIP} -9nf ${program}.1
        DEPENDS ${program} WORKING_DIRECTORY ${nuv_pack} VERBATIM)
    list(APPEND nuv_pack_files ${nuv_pack}/${program}.1.gz)
endforeach()
add_custom_target(nuv_package_files ALL DEPENDS ${nuv_pack_files})
list(FILTER nuv_pack_files INCLUDE REGEX "\\.1\\.gz$")
install(FILES ${nuv_pack_files} DESTINATION ${nuv_man_dir})
install(FILES ${nuv_pack}/copyright ${nuv_pack}/changelog.Debian.gz DESTINATION ${nuv_doc_dir})
# The warnings lintian gives that are decided (see README.md, Install).
install(FILES packaging/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
    RENAME ${NUV_PACKAGE_NAME})

set(CPACK_PACKAGE_NAME ${NUV_PACKAGE_NAME})
set(CPACK_PACKAGE_VENDOR ${NUV_AUTHORS})
set(CPACK_PACKAGE_CONTACT ${NUV_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Service tool for NUV series thermal receipt printers")
set(CPACK_PACKAGE_DESCRIPTION
    "Sets the operating parameters of NUV series thermal receipt printers,
programs their firmware, downloads fonts and logo images into them, and sets
their Bluetooth and IrCOMM interfaces, over a serial port or UDP. Includes the
command-line program nuvctl for production lines and the simulated printer
printer-sim.")
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${NUV_PACKAGE_RELEASE})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Plug-ins are loaded at run time, so the library scan does not see them. The multimedia back
# ends that play the sounds ship inside libqt6multimedia6, which the scan finds anyway.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# For a Wayland session; without it the window runs through XWayland.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
include(CPack)
