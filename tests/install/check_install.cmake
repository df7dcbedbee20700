# Installs the build tree into PREFIX and checks that exactly the expected files arrive.
# Run with -DBUILD_DIR= -DSOURCE_DIR= -DPREFIX= -DBINDIR= -DDATADIR= -DMANDIR= -DPACKAGE=
# -DWITH_CLI=0|1.

file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cmake --install failed (${rc}):\n${out}")
endif()

set(bin ${BINDIR})
set(data ${DATADIR})
set(expected
    ${bin}/NUV_II_Tool
    ${bin}/printer-sim
    ${data}/${PACKAGE}/codepage.ini
    ${data}/${PACKAGE}/ok.wav
    ${data}/${PACKAGE}/error.wav
    ${data}/applications/${PACKAGE}.desktop
    ${data}/icons/hicolor/scalable/apps/${PACKAGE}.svg
    ${data}/doc/${PACKAGE}/copyright
    ${data}/doc/${PACKAGE}/changelog.Debian.gz
    ${data}/lintian/overrides/${PACKAGE}
    ${MANDIR}/man1/NUV_II_Tool.1.gz
    ${MANDIR}/man1/printer-sim.1.gz)
if(WITH_CLI)
    list(APPEND expected ${bin}/nuvctl ${MANDIR}/man1/nuvctl.1.gz)
endif()

# Nothing else: no test programs, static libraries or build leftovers.
file(GLOB_RECURSE installed RELATIVE ${PREFIX} ${PREFIX}/*)
list(SORT installed)
list(SORT expected)
if(NOT installed STREQUAL expected)
    list(JOIN installed "\n  " got)
    list(JOIN expected "\n  " want)
    message(FATAL_ERROR "installed files:\n  ${got}\nexpected:\n  ${want}")
endif()

foreach(program NUV_II_Tool printer-sim)
    file(READ ${PREFIX}/${bin}/${program} magic LIMIT 4 HEX)
    if(NOT magic STREQUAL "7f454c46")
        message(FATAL_ERROR "${program} is not an executable")
    endif()
endforeach()

file(SHA256 ${PREFIX}/${data}/${PACKAGE}/codepage.ini installed_hash)
file(SHA256 ${SOURCE_DIR}/app/codepage.ini source_hash)
if(NOT installed_hash STREQUAL source_hash)
    message(FATAL_ERROR "the installed codepage.ini differs from app/codepage.ini")
endif()

# Each sound: a RIFF/WAVE file of 16-bit mono PCM whose sizes agree with its length, and that
# is long enough to hear (a tenth of a second at 22050 frames a second).
function(little_endian hex offset bytes out)
    set(value 0)
    math(EXPR last "${bytes} - 1")
    foreach(i RANGE ${last} 0 -1)
        math(EXPR at "(${offset} + ${i}) * 2")
        string(SUBSTRING ${hex} ${at} 2 byte)
        math(EXPR value "${value} * 256 + 0x${byte}")
    endforeach()
    set(${out} ${value} PARENT_SCOPE)
endfunction()
foreach(sound ok.wav error.wav)
    set(path ${PREFIX}/${data}/${PACKAGE}/${sound})
    file(SIZE ${path} size)
    file(READ ${path} header LIMIT 44 HEX)
    string(SUBSTRING "${header}" 0 8 riff)
    string(SUBSTRING "${header}" 16 16 wave_fmt)
    string(SUBSTRING "${header}" 72 8 data_tag)
    little_endian(${header} 4 4 riff_size)
    little_endian(${header} 20 2 format)
    little_endian(${header} 22 2 channels)
    little_endian(${header} 24 4 rate)
    little_endian(${header} 34 2 bits)
    little_endian(${header} 40 4 data_size)
    math(EXPR riff_expected "${size} - 8")
    math(EXPR data_expected "${size} - 44")
    if(NOT riff STREQUAL "52494646" OR NOT wave_fmt STREQUAL "57415645666d7420"
       OR NOT data_tag STREQUAL "64617461" OR NOT format EQUAL 1 OR NOT channels EQUAL 1
       OR NOT bits EQUAL 16 OR NOT riff_size EQUAL riff_expected
       OR NOT data_size EQUAL data_expected OR data_size LESS 4410)
        message(FATAL_ERROR "${sound} is not a whole 16-bit mono PCM WAVE file "
            "(header ${header}, ${size} bytes)")
    endif()
endforeach()

set(desktop ${PREFIX}/${data}/applications/${PACKAGE}.desktop)
file(STRINGS ${desktop} exec REGEX "^Exec=")
file(STRINGS ${desktop} icon REGEX "^Icon=")
if(NOT exec STREQUAL "Exec=NUV_II_Tool" OR NOT icon STREQUAL "Icon=${PACKAGE}")
    message(FATAL_ERROR "${desktop}: '${exec}', '${icon}'")
endif()
find_program(DESKTOP_FILE_VALIDATE desktop-file-validate)
if(DESKTOP_FILE_VALIDATE)
    execute_process(COMMAND ${DESKTOP_FILE_VALIDATE} ${desktop}
        RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(NOT rc EQUAL 0 OR NOT out STREQUAL "")
        message(FATAL_ERROR "desktop-file-validate: ${out}")
    endif()
endif()

file(READ ${PREFIX}/${data}/icons/hicolor/scalable/apps/${PACKAGE}.svg svg)
if(NOT svg MATCHES "<svg [^>]*viewBox=\"0 0 64 64\"" OR NOT svg MATCHES "</svg>[ \n]*$")
    message(FATAL_ERROR "the icon is not a whole SVG image")
endif()

# Manual pages and the changelog: compressed as Debian wants them (gzip, no name inside).
file(GLOB compressed ${PREFIX}/${MANDIR}/man1/*.gz ${PREFIX}/${data}/doc/${PACKAGE}/*.gz)
foreach(path ${compressed})
    file(READ ${path} head LIMIT 4 HEX)
    if(NOT head STREQUAL "1f8b0800")
        message(FATAL_ERROR "${path} is not gzip data without a file name (${head})")
    endif()
endforeach()
