# The wavetable oscillator with a modulated wave position in 64 voices: the play tables rebuilt from the
# blended spectra at every tick, against the cached band-limited tables of the two neighbouring waves.
veltrane_bench(wavetable_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/wavetable_bench.cpp LIBS veltrane_engine)
