# cmake -DIN=FILE -DOUT=SOURCE -DNAME=ARRAY -P embed.cmake: writes SOURCE, a C++
# file that defines the bytes of FILE as the array NAME (the window's icon).
file(READ ${IN} bytes HEX)
string(REGEX REPLACE "(..)" "0x\\1," bytes "${bytes}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n    " bytes "${bytes}")
file(WRITE ${OUT} "// Made at build time from ${IN}.\n#include \"app/WindowIcon.h\"\n\n"
                  "const unsigned char ${NAME}[] = {\n    ${bytes}\n};\n")
