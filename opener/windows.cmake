# orvalis-open.exe, the picture opener for Windows: its process code
# (ProcessWindows.cpp) and its decoder, Windows Imaging Component
# (DecodeWic.cpp); it starts orvalis.exe with the picture.
add_executable(orvalis-open WIN32 ProcessWindows.cpp DecodeWic.cpp Bitmap.cpp)
target_link_libraries(orvalis-open PRIVATE image windowscodecs ole32 shell32)
orvalis_warnings(orvalis-open)
set_target_properties(orvalis-open PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
if(MINGW)
    # wWinMain, for file names in any script.
    target_link_options(orvalis-open PRIVATE -municode)
endif()
# Its resources from orvalis.exe's template: the demo's icon, which
# orvalis.exe's build makes, in "Open with" too; the same manifest; and its own
# version information.
set(ORVALIS_DESCRIPTION "Shows a picture on the orvalis cube")
set(ORVALIS_PROGRAM orvalis-open)
set(ORVALIS_MANIFEST ${PROJECT_SOURCE_DIR}/app/orvalis.manifest)
set(ORVALIS_ICON_LINE "")
if(ORVALIS_ICON)
    set(ORVALIS_ICON_LINE "1 ICON \"${ORVALIS_ICON}\"")
    add_dependencies(orvalis-open orvalis)
endif()
configure_file(${PROJECT_SOURCE_DIR}/app/orvalis.rc.in opener.rc @ONLY)
target_sources(orvalis-open PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/opener.rc)
set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/opener.rc PROPERTIES
                            OBJECT_DEPENDS "${ORVALIS_MANIFEST};${ORVALIS_ICON}")
