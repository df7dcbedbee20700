if(NUV_SANITIZE)
    add_compile_options(-fsanitize=${NUV_SANITIZE} -fno-omit-frame-pointer)
    add_link_options(-fsanitize=${NUV_SANITIZE})
    if(NUV_SANITIZE MATCHES "undefined")
        add_compile_options(-fno-sanitize-recover=undefined)
    endif()
    # clang 14's ThreadSanitizer runtime aborts in the child when QProcess starts a program (a
    # clone sharing the parent's memory); gcc 12's runtime, of the same interface, copes. So
    # clang compiles, in half of gcc's time, and the programs load gcc's runtime.
    if(NUV_SANITIZE STREQUAL "thread" AND CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        execute_process(COMMAND g++ -print-file-name=libtsan.so OUTPUT_VARIABLE nuv_gcc_tsan
            OUTPUT_STRIP_TRAILING_WHITESPACE)
        execute_process(COMMAND g++ -print-file-name=libtsan_preinit.o
            OUTPUT_VARIABLE nuv_gcc_tsan_preinit OUTPUT_STRIP_TRAILING_WHITESPACE)
        if(IS_ABSOLUTE "${nuv_gcc_tsan}" AND EXISTS "${nuv_gcc_tsan_preinit}")
            add_link_options(-fno-sanitize-link-runtime ${nuv_gcc_tsan_preinit} ${nuv_gcc_tsan})
        else()
            message(WARNING "gcc's ThreadSanitizer runtime not found: tests that start programs "
                "will abort under clang's")
        endif()
    endif()
endif()
