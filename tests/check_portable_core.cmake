# Fails when the platform-free code includes anything but the C++ standard library and itself.
set(standard algorithm array cassert cerrno charconv clocale cmath cstddef cstdint cstdio cstdlib
    cstring deque functional limits map memory optional string string_view system_error type_traits
    utility variant vector
    xlocale\\.h)  # Apple's home of the POSIX locale objects <clocale> stands for elsewhere
list(JOIN standard "|" standard)
file(GLOB_RECURSE sources ${ROOT}/battery/*.[hc]* ${ROOT}/app/*.[hc]* ${ROOT}/helper/*.[hc]*
    ${ROOT}/shared/*.h)
foreach(source IN LISTS sources)
    file(STRINGS ${source} includes REGEX "^[ \t]*#[ \t]*include")
    foreach(line IN LISTS includes)
        if(NOT line MATCHES "<(${standard})>|\"(battery|app|helper|shared)/")
            message(SEND_ERROR "platform or unknown header in the portable code: ${source}: ${line}")
        endif()
    endforeach()
endforeach()
