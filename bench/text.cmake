# One line of 30 characters through the cached font, once its glyphs are cached: native (opaque colour)
# and glyph compositing (translucent colour), in microseconds per line.
veltrane_bench(text_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/text_bench.cpp LIBS raster)
