# Fails when the platform-free code includes anything but the C++ standard library and itself.
cmake_minimum_required(VERSION 3.25)
set(allowed algorithm array cassert cerrno charconv clocale cmath cstddef cstdint cstdio cstdlib
    cstring deque functional limits map memory optional string string_view system_error type_traits
    utility variant vector
    xlocale.h)  # Apple's home of the POSIX locale objects <clocale> stands for elsewhere
file(GLOB_RECURSE sources
    ${ROOT}/battery/*.h ${ROOT}/battery/*.cpp ${ROOT}/app/*.h ${ROOT}/app/*.cpp
    ${ROOT}/helper/*.h ${ROOT}/helper/*.cpp ${ROOT}/shared/*.h)
set(bad "")
foreach(source IN LISTS sources)
    file(STRINGS ${source} lines REGEX "^[ \t]*#[ \t]*include")
    foreach(line IN LISTS lines)
        if(line MATCHES "<([^>]+)>")
            if(NOT CMAKE_MATCH_1 IN_LIST allowed)
                list(APPEND bad "${source}: ${line}")
            endif()
        elseif(line MATCHES "\"([^\"]+)\"")
            if(NOT CMAKE_MATCH_1 MATCHES "^(battery|app|helper|shared)/")
                list(APPEND bad "${source}: ${line}")
            endif()
        endif()
    endforeach()
endforeach()
if(bad)
    list(JOIN bad "\n" bad)
    message(FATAL_ERROR "platform or unknown headers in the portable code:\n${bad}")
endif()
