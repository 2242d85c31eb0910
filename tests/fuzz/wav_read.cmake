veltrane_fuzz(fuzz_wav_read SOURCE ${CMAKE_CURRENT_LIST_DIR}/wav_read_fuzz.cpp
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus/wav_read LIBS veltrane_engine)
