veltrane_fuzz(fuzz_ini SOURCE ${CMAKE_CURRENT_LIST_DIR}/ini_fuzz.cpp
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus/ini LIBS swell)
