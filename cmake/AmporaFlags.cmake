# Project-wide compiler flags: strict warnings everywhere, sanitizers on request.
add_library(ampora_flags INTERFACE)
target_compile_options(ampora_flags INTERFACE -Wall -Wextra -Wpedantic
    $<$<BOOL:${AMPORA_WERROR}>:-Werror>)

if(AMPORA_SANITIZE)
    set(_ampora_san -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_compile_options(ampora_flags INTERFACE ${_ampora_san})
    target_link_options(ampora_flags INTERFACE ${_ampora_san})
endif()

# Objects that go into a libFuzzer binary need coverage instrumentation too.
if(AMPORA_FUZZ)
    target_compile_options(ampora_flags INTERFACE -fsanitize=fuzzer-no-link,address,undefined
        -fno-sanitize-recover=all)
    target_link_options(ampora_flags INTERFACE -fsanitize=address,undefined)
endif()
