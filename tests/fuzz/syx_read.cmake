veltrane_fuzz(fuzz_syx_read SOURCE ${CMAKE_CURRENT_LIST_DIR}/syx_read_fuzz.cpp
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus/syx_read LIBS veltrane_engine)
