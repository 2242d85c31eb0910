# A heavy program in process: all 18 slots of every voice in use, 64 voices held, as a multiple of real time.
veltrane_bench(heavy_program_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/heavy_program_bench.cpp LIBS veltrane_engine)
