# An interface target with GNUstep's Objective-C flags and GUI libraries, from gnustep-config.
# Used only on non-Apple systems, to compile and link the AppKit adapters without running them.
# Also sets AMPORA_GNUSTEP_INCLUDE_DIRS and AMPORA_GNUSTEP_DEFINITIONS for other tools.

find_program(AMPORA_GNUSTEP_CONFIG gnustep-config REQUIRED)
execute_process(COMMAND "${AMPORA_GNUSTEP_CONFIG}" --objc-flags
    OUTPUT_VARIABLE _gs_objc_flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND "${AMPORA_GNUSTEP_CONFIG}" --gui-libs
    OUTPUT_VARIABLE _gs_gui_libs OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
separate_arguments(_gs_objc_flags UNIX_COMMAND "${_gs_objc_flags}")
separate_arguments(_gs_gui_libs UNIX_COMMAND "${_gs_gui_libs}")

set(AMPORA_GNUSTEP_INCLUDE_DIRS "")
set(AMPORA_GNUSTEP_DEFINITIONS "")
set(_gs_compile_options "")
foreach(flag IN LISTS _gs_objc_flags)
    if(flag MATCHES "^-I(.+)$")
        # Headers as system headers: their own warnings are not ours to fix.
        if(NOT CMAKE_MATCH_1 STREQUAL ".")
            list(APPEND AMPORA_GNUSTEP_INCLUDE_DIRS "${CMAKE_MATCH_1}")
        endif()
    elseif(flag MATCHES "^-D")
        list(APPEND AMPORA_GNUSTEP_DEFINITIONS "${flag}")
    elseif(flag MATCHES "^-(MMD|MP|g|O[0-9s]?|Wall)$")
        # Dependency files, debug and optimisation levels, warnings: the build's own settings.
    else()
        list(APPEND _gs_compile_options "${flag}")
    endif()
endforeach()
# Without it g++ never runs the constructors of C++ members of Objective-C objects.
list(APPEND _gs_compile_options -fobjc-call-cxx-cdtors)

if(TARGET ampora_gnustep)
    return()
endif()
add_library(ampora_gnustep INTERFACE)
target_include_directories(ampora_gnustep SYSTEM INTERFACE ${AMPORA_GNUSTEP_INCLUDE_DIRS})
target_compile_options(ampora_gnustep INTERFACE
    "$<$<COMPILE_LANGUAGE:OBJCXX>:${AMPORA_GNUSTEP_DEFINITIONS};${_gs_compile_options}>")

foreach(flag IN LISTS _gs_gui_libs)
    if(flag MATCHES "^-L(.+)$")
        target_link_directories(ampora_gnustep INTERFACE "${CMAKE_MATCH_1}")
    elseif(flag MATCHES "^-l(.+)$")
        target_link_libraries(ampora_gnustep INTERFACE "${CMAKE_MATCH_1}")
    else()
        target_link_options(ampora_gnustep INTERFACE "${flag}")
    endif()
endforeach()
