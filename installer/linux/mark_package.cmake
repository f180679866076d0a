# Run by CPack in its staging folder before it packs it.
file(WRITE "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}/${CPACK_NETVANE_MARKER}"
     "Installed by the system's package manager, which brings its updates.\n")
