# Warnings are set per target: every target of ours links nuv_warnings, product code (libraries
# and programs) nuv_product_warnings, which adds the checks that tests and benchmarks, full of
# byte fiddling and casts on purpose, are spared. The CI presets make warnings errors
# (CMAKE_COMPILE_WARNING_AS_ERROR).
add_library(nuv_warnings INTERFACE)
target_compile_options(nuv_warnings INTERFACE -Wall -Wextra -Wpedantic)

add_library(nuv_product_warnings INTERFACE)
target_compile_options(nuv_product_warnings INTERFACE
    -Wshadow -Wconversion -Wsign-conversion -Wold-style-cast -Wnon-virtual-dtor
    -Woverloaded-virtual)
target_link_libraries(nuv_product_warnings INTERFACE nuv_warnings)

# Product targets built with Qt: nuv_product_target(<target>...) gives them these warnings and the
# product's precompiled header (cmake/Precompiled.cmake).
function(nuv_product_target)
    foreach(target ${ARGN})
        target_link_libraries(${target} PRIVATE nuv_product_warnings)
        target_compile_options(${target} PRIVATE -Winvalid-pch)
        target_precompile_headers(${target} REUSE_FROM nuv_product_pch)
    endforeach()
endfunction()
