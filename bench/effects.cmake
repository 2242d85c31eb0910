# What the effect modules cost to set up: making one instance, replacing a voice slot's module (64
# instances, as the audio thread does it), and the memory a slot of 64 reverbs takes as voices play.
veltrane_bench(effects_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/effects_bench.cpp LIBS veltrane_engine)
