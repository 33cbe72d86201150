# The web build's toolchain: Emscripten's own platform file, found beside its
# compiler wherever that is installed (Debian's emscripten package in
# /usr/share/emscripten, or an emsdk checkout), so that a preset can name it.
find_program(EMCC emcc REQUIRED)
file(REAL_PATH ${EMCC} emcc)
get_filename_component(emscriptenRoot ${emcc} DIRECTORY)
include(${emscriptenRoot}/cmake/Modules/Platform/Emscripten.cmake)
