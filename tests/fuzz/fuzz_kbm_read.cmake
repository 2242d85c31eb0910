veltrane_fuzz(fuzz_kbm_read SOURCE ${CMAKE_CURRENT_LIST_DIR}/kbm_read_fuzz.cpp CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus/kbm_read LIBS tun)
