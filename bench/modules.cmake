# Nanoseconds per sample of every module type that has a class, one instance at 48 kHz with its inputs
# connected and playing.
veltrane_bench(modules_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/modules_bench.cpp LIBS veltrane_engine)
