# Fake engine libraries that the loader must refuse, built next to the tests.
set(_fake_engine_source ${CMAKE_CURRENT_LIST_DIR}/fakeengine/fake_engine.c)
foreach(_variant no_create other_layout unreported_layout)
  add_library(fake_engine_${_variant} MODULE ${_fake_engine_source})
  set_target_properties(fake_engine_${_variant} PROPERTIES PREFIX "" OUTPUT_NAME "fake_engine_${_variant}")
  add_dependencies(tst_engineboundary fake_engine_${_variant})
endforeach()
target_compile_definitions(fake_engine_no_create PRIVATE
  FAKE_HAS_CREATE_OBJECT=0 FAKE_HAS_MODULE_PROP=1 FAKE_INTERFACE_TYPE=0)
target_compile_definitions(fake_engine_other_layout PRIVATE
  FAKE_HAS_CREATE_OBJECT=1 FAKE_HAS_MODULE_PROP=1 FAKE_INTERFACE_TYPE=1)
target_compile_definitions(fake_engine_unreported_layout PRIVATE
  FAKE_HAS_CREATE_OBJECT=1 FAKE_HAS_MODULE_PROP=0 FAKE_INTERFACE_TYPE=0)
target_compile_definitions(tst_engineboundary PRIVATE
  FAKE_ENGINE_NO_CREATE="$<TARGET_FILE:fake_engine_no_create>"
  FAKE_ENGINE_OTHER_LAYOUT="$<TARGET_FILE:fake_engine_other_layout>"
  FAKE_ENGINE_UNREPORTED_LAYOUT="$<TARGET_FILE:fake_engine_unreported_layout>")
