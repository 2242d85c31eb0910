veltrane_fuzz(fuzz_fxp SOURCE ${CMAKE_CURRENT_LIST_DIR}/fxp_fuzz.cpp
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus/fxp LIBS fuzz_testplug)
