# Optimised builds of the product are hardened as Debian builds its packages: the programs read
# files and frames from outside. Sanitizer builds are left alone (they check more, and the
# fortified functions need optimisation).
if(NUV_HARDEN AND NOT NUV_SANITIZE)
    set(nuv_optimised $<NOT:$<CONFIG:Debug>>)
    add_compile_options(
        "$<${nuv_optimised}:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>"
        -fstack-protector-strong -fstack-clash-protection)
    add_link_options(-Wl,-z,relro,-z,now)
endif()
