# Reads the identifiers both programs share from shared/identifiers.h, so that the bundles'
# property lists can't drift from the code: every
#   inline constexpr std::string_view Name = "value";
# becomes the variable AMPORA_<Name> in the caller's scope.
function(ampora_read_identifiers header)
    file(STRINGS "${header}" lines
        REGEX "^inline constexpr std::string_view [A-Za-z]+ = \"[^\"]*\";")
    if(NOT lines)
        message(FATAL_ERROR "No identifiers found in ${header}")
    endif()
    foreach(line IN LISTS lines)
        string(REGEX MATCH "std::string_view ([A-Za-z]+) = \"([^\"]*)\"" _ "${line}")
        set(AMPORA_${CMAKE_MATCH_1} "${CMAKE_MATCH_2}" PARENT_SCOPE)
    endforeach()
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${header}")
endfunction()
