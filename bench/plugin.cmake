veltrane_bench(plugin_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/plugin_bench.cpp
  ${PROJECT_SOURCE_DIR}/tests/plugin/TestPlug.cpp LIBS iplug)
target_include_directories(plugin_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests/plugin)
