# What loading, editing and unloading the plug-in file again and again leaves in the process.
find_package(X11 REQUIRED)
veltrane_bench(unload_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/unload_bench.cpp LIBS X11::X11 ${CMAKE_DL_LIBS})
target_compile_definitions(unload_bench PRIVATE VELTRANE_SO="$<TARGET_FILE:Veltrane>")
target_include_directories(unload_bench PRIVATE ${PROJECT_SOURCE_DIR}/WDL/IPlug)
add_dependencies(unload_bench Veltrane)
