# The corpus replay runs the same harness as the reader fuzzer (fuzz/).
target_link_libraries(tst_qvformat PRIVATE qv_reader_harness)
