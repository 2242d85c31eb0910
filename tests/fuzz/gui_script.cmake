veltrane_fuzz(fuzz_gui_script SOURCE ${CMAKE_CURRENT_LIST_DIR}/gui_script_fuzz.cpp
  CORPUS ${CMAKE_CURRENT_LIST_DIR}/corpus/gui_script DICT ${CMAKE_CURRENT_LIST_DIR}/gui_script.dict
  LIBS veltrane_editor)
# The whole editor of this build: its images and its start-up bank.
target_compile_definitions(fuzz_gui_script PRIVATE
  VELTRANE_RESOURCES_DIR="${PROJECT_BINARY_DIR}/sources/Veltrane.vst/Contents/Resources"
  GUI_SCRIPT_IMAGES_DIR="${CMAKE_CURRENT_BINARY_DIR}/gui_script_images")
add_dependencies(fuzz_gui_script veltrane_artwork veltrane_init_bank)
