veltrane_fuzz(fuzz_gui_script SOURCE ${CMAKE_CURRENT_LIST_DIR}/gui_script_fuzz.cpp
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus/gui_script LIBS iplug)
