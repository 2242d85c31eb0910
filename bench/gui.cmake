veltrane_bench(gui_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/gui_bench.cpp LIBS iplug)
