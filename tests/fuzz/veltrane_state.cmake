veltrane_fuzz(veltrane_state_fuzz SOURCE ${CMAKE_CURRENT_LIST_DIR}/veltrane_state_fuzz.cpp
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus/veltrane_state LIBS veltrane_engine)
