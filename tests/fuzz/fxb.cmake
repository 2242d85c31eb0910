veltrane_fuzz(fuzz_fxb SOURCE ${CMAKE_CURRENT_LIST_DIR}/fxb_fuzz.cpp
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus/fxb LIBS fuzz_testplug)
