# The stand-in file server as a program, run by the tests as another user.
add_executable(quenvar_fileserver_standin ${CMAKE_CURRENT_LIST_DIR}/fileserverstandin_main.cpp)
target_link_libraries(quenvar_fileserver_standin PRIVATE quenvar_testsupport)
target_compile_definitions(quenvar_testsupport PRIVATE
  QUENVAR_STANDIN_BINARY="$<TARGET_FILE:quenvar_fileserver_standin>")
add_dependencies(tst_fileclient quenvar_fileserver_standin)
