veltrane_fuzz(fuzz_statechunk SOURCE ${CMAKE_CURRENT_LIST_DIR}/statechunk_fuzz.cpp
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus/statechunk LIBS fuzz_testplug)
