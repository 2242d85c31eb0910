veltrane_bench(bench_containers SOURCES ${CMAKE_CURRENT_LIST_DIR}/containers_bench.cpp LIBS iplug)
