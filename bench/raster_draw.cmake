veltrane_bench(raster_draw_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/raster_draw_bench.cpp LIBS raster)
