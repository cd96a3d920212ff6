# The installation test installs this build tree, manual page included.
add_dependencies(tst_desktop quenvar_manpage)
target_compile_definitions(tst_desktop PRIVATE QUENVAR_BUILD_DIR="${PROJECT_BINARY_DIR}")
