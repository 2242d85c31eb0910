find_package(ZLIB REQUIRED) # chunk checksums in the target's mutator
veltrane_fuzz(fuzz_png_load SOURCE ${CMAKE_CURRENT_LIST_DIR}/png_load_fuzz.cpp
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus/png_load LIBS raster ZLIB::ZLIB)
