veltrane_fuzz(fuzz_scl_read SOURCE ${CMAKE_CURRENT_LIST_DIR}/scl_read_fuzz.cpp CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus/scl_read LIBS tun)
