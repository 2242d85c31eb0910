veltrane_fuzz(fuzz_update_reply SOURCE ${CMAKE_CURRENT_LIST_DIR}/update_reply_fuzz.cpp
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus/update_reply LIBS veltrane_editor)
