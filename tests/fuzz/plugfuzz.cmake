# The test plug-in that the framework's fuzz targets drive (statechunk, fxp, fxb).
add_library(fuzz_testplug STATIC ${PROJECT_SOURCE_DIR}/tests/plugin/TestPlug.cpp)
target_include_directories(fuzz_testplug PUBLIC ${PROJECT_SOURCE_DIR}/tests/plugin ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(fuzz_testplug PUBLIC iplug)
if(VELTRANE_FUZZ) # instrumented like the libraries, so that coverage guides the targets through it
  target_compile_options(fuzz_testplug PRIVATE -fsanitize=fuzzer-no-link)
endif()
