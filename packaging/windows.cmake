# The Windows downloads, made by the target downloads with every build, in
# the build folder, from the same files gathered in package/:
#   orvalis-windows-x86_64.zip                  to unzip anywhere
#   orvalis-VERSION-windows-x86_64-setup.exe    installs them (orvalis.nsi.in)
# Both hold orvalis.exe, orvalis-open.exe (the picture opener), img\logo.bmp,
# README.txt and the licences of orvalis and of freeglut.
set(package ${PROJECT_BINARY_DIR}/package)
set(licence ${ORVALIS_WINDOWS_DEPS}/freeglut-COPYING)
if(NOT EXISTS ${licence})
    message(STATUS "No ${licence}: no target downloads (scripts/windows builds freeglut)")
    return()
endif()

# The text files with the line ends of Windows editors.
foreach(text ${PROJECT_SOURCE_DIR}/LICENSE=LICENSE.txt ${licence}=freeglut-LICENSE.txt
             ${CMAKE_CURRENT_SOURCE_DIR}/windows-readme.txt=README.txt)
    string(REPLACE "=" ";" text ${text})
    list(GET text 0 from)
    list(GET text 1 to)
    file(READ ${from} content)
    string(REPLACE "\n" "\r\n" content "${content}")
    file(WRITE ${package}/${to} "${content}")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${from})
endforeach()
# The programs without their symbols, and the picture.
set(files ${package}/orvalis.exe ${package}/orvalis-open.exe ${package}/img/logo.bmp)
add_custom_command(OUTPUT ${files}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${package}/img
    COMMAND ${CMAKE_STRIP} -o ${package}/orvalis.exe $<TARGET_FILE:orvalis>
    COMMAND ${CMAKE_STRIP} -o ${package}/orvalis-open.exe $<TARGET_FILE:orvalis-open>
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/img/logo.bmp ${package}/img/
    DEPENDS orvalis orvalis-open ${PROJECT_SOURCE_DIR}/img/logo.bmp VERBATIM)

set(zip ${PROJECT_BINARY_DIR}/orvalis-windows-x86_64.zip)
add_custom_command(OUTPUT ${zip}
    COMMAND ${PROJECT_SOURCE_DIR}/scripts/reproducible-zip ${zip} ${package}
    DEPENDS ${files} VERBATIM)

# The setup program, where NSIS is installed. Its script takes the version,
# the folders and the icon from here; makensis dates nothing in it when
# SOURCE_DATE_EPOCH is set, as scripts/release sets it.
find_program(MAKENSIS makensis)
set(setup ${PROJECT_BINARY_DIR}/orvalis-${PROJECT_VERSION}-windows-x86_64-setup.exe)
# The demo's icon on the setup program and its uninstaller, where orvalis.exe
# has it.
if(ORVALIS_ICON)
    set(setupIcons "Icon \"${ORVALIS_ICON}\"\nUninstallIcon \"${ORVALIS_ICON}\"")
endif()
configure_file(orvalis.nsi.in orvalis.nsi @ONLY)
if(MAKENSIS)
    add_custom_command(OUTPUT ${setup}
        COMMAND ${MAKENSIS} -V2 ${CMAKE_CURRENT_BINARY_DIR}/orvalis.nsi
        DEPENDS ${files} ${CMAKE_CURRENT_BINARY_DIR}/orvalis.nsi VERBATIM)
else()
    message(WARNING "No makensis (Debian's nsis): the downloads leave out the setup program")
    unset(setup)
endif()
add_custom_target(downloads ALL DEPENDS ${zip} ${setup})
