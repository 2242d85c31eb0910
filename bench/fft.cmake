# FFT speed beside FFTW. FFTW is a reference for this benchmark only: nothing else links it.
find_package(PkgConfig REQUIRED)
pkg_check_modules(FFTW3 REQUIRED IMPORTED_TARGET fftw3)
veltrane_bench(fft_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/fft_bench.cpp LIBS wdl_fft PkgConfig::FFTW3)
