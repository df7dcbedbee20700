# The Debian package: `make package`, or `cpack -G DEB` in the build folder.
set(CPACK_PACKAGE_NAME ${NUV_PACKAGE_NAME})
set(CPACK_PACKAGE_VENDOR "NUV printer tool developers")
set(CPACK_PACKAGE_CONTACT "NUV printer tool developers <nuv-printer-tool@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Service tool for NUV series thermal receipt printers")
set(CPACK_PACKAGE_DESCRIPTION
    "Sets the operating parameters of NUV series thermal receipt printers,
programs their firmware, downloads fonts and logo images into them, and sets
their Bluetooth and IrCOMM interfaces, over a serial port or UDP. Includes the
simulated printer printer-sim.")
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Plug-ins are loaded at run time, so the library scan does not see them. The multimedia back
# ends that play the sounds ship inside libqt6multimedia6, which the scan finds anyway.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# For a Wayland session; without it the window runs through XWayland.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
include(CPack)
