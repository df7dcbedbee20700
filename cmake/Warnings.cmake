# Every target of ours gets the same warning set; CI turns them into errors.
add_compile_options(-Wall -Wextra -Wpedantic)
if(NUV_WERROR)
    add_compile_options(-Werror)
endif()
