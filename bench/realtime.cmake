# What program changes, module replacements and bank loads cost the audio thread (the start-up bank's
# heaviest program playing 64 voices).
veltrane_bench(realtime_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/realtime_bench.cpp LIBS veltrane_engine)
target_compile_definitions(realtime_bench PRIVATE VELTRANE_INIT_BANK="${VELTRANE_INIT_BANK}")
add_dependencies(realtime_bench veltrane_init_bank)
