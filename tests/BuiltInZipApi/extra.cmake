# The corpus replay runs the same harness as the reader fuzzer (fuzz/).
target_sources(tst_qvcorpus PRIVATE ${PROJECT_SOURCE_DIR}/fuzz/qv_reader_harness.cpp)
target_include_directories(tst_qvcorpus PRIVATE ${PROJECT_SOURCE_DIR}/fuzz)
