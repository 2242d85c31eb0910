# Veltrane's program 0 (the start-up bank) with 64 voices at 48 kHz beside amsynth from Debian, both
# rendered by our command-line host from the same held notes (8 and 64), as multiples of real time.
veltrane_bench(voices_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/voices_bench.cpp LIBS vsthost_lib)
target_compile_definitions(voices_bench PRIVATE VELTRANE_SO="$<TARGET_FILE:Veltrane>"
  VELTRANE_INIT_BANK="${VELTRANE_INIT_BANK}" AMSYNTH_SO="/usr/lib/vst/amsynth_vst.so")
add_dependencies(voices_bench Veltrane veltrane_init_bank)
# The tests' reference build of the plug-in (the audio path without its shortcuts), when tests are built.
if(TARGET Veltrane_reference)
  target_compile_definitions(voices_bench PRIVATE VELTRANE_REFERENCE_SO="$<TARGET_FILE:Veltrane_reference>")
  add_dependencies(voices_bench Veltrane_reference)
endif()
