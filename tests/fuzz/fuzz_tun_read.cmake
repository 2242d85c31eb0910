veltrane_fuzz(fuzz_tun_read SOURCE ${CMAKE_CURRENT_LIST_DIR}/tun_read_fuzz.cpp CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus/tun_read LIBS tun)
