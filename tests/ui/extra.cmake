# The catalogue test reads the same folders as the program's build, with the
# lupdate of the Qt it is built against.
string(REPLACE ";" "," _translated_dirs "${QUENVAR_SOURCE_DIRS}")
target_compile_definitions(tst_settingsdialog PRIVATE
  QUENVAR_TRANSLATED_DIRS="${_translated_dirs}"
  QUENVAR_LUPDATE="$<TARGET_FILE:Qt5::lupdate>")
