veltrane_fuzz(fuzz_text_draw SOURCE ${CMAKE_CURRENT_LIST_DIR}/text_draw_fuzz.cpp
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus/text_draw LIBS raster)
