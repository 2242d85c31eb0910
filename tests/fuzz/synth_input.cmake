veltrane_fuzz(synth_input_fuzz SOURCE ${CMAKE_CURRENT_LIST_DIR}/synth_input_fuzz.cpp
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus/synth_input LIBS veltrane_engine)
