veltrane_fuzz(fuzz_midifile SOURCE ${CMAKE_CURRENT_LIST_DIR}/midifile_fuzz.cpp
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus/midifile LIBS vsthost_lib)
