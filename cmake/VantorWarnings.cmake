# Warnings for the project's own code; dependencies come in as -isystem and stay quiet.
add_library(vantor_warnings INTERFACE)
target_compile_options(vantor_warnings INTERFACE -Wall -Wextra)

# vantor_add_library(<name> SOURCES ... DEPENDS ...)
# A static library of the project's own code, warnings on. A layer whose sources are
# still to come is an interface library that only passes its dependencies on.
function(vantor_add_library name)
  cmake_parse_arguments(L "" "" "SOURCES;DEPENDS" ${ARGN})
  if(L_SOURCES)
    add_library(${name} STATIC ${L_SOURCES})
    target_link_libraries(${name} PUBLIC ${L_DEPENDS} PRIVATE vantor_warnings)
  else()
    add_library(${name} INTERFACE)
    target_link_libraries(${name} INTERFACE ${L_DEPENDS})
  endif()
endfunction()
