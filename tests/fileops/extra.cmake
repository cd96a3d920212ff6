# The stand-in file server as a program, run by the tests as another user.
add_executable(quenvar_fileserver_standin ${CMAKE_CURRENT_LIST_DIR}/fileserverstandin_main.cpp)
target_link_libraries(quenvar_fileserver_standin PRIVATE quenvar_testsupport)
# On its one source only: the tests share the support library's precompiled
# header, which a definition on the whole library would make unusable to them.
set_property(SOURCE ${CMAKE_CURRENT_LIST_DIR}/../common/FileServerStandIn.cpp APPEND PROPERTY
  COMPILE_DEFINITIONS QUENVAR_STANDIN_BINARY="$<TARGET_FILE:quenvar_fileserver_standin>")
add_dependencies(tst_fileaccess quenvar_fileserver_standin)
