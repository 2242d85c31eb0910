# The whole editor of the plug-in with every slot's panel in use, on the headless surface: a full redraw and
# one knob's redraw per tick, in microseconds.
veltrane_bench(editor_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/editor_bench.cpp LIBS veltrane_engine)
target_compile_definitions(editor_bench PRIVATE
  VELTRANE_RESOURCES_DIR="${PROJECT_BINARY_DIR}/sources/Veltrane.vst/Contents/Resources")
add_dependencies(editor_bench veltrane_artwork)
