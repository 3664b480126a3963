# The hardening Debian's dpkg-buildflags gives a package (with bindnow), for
# the Linux builds of the program: fortified C library calls, a stack
# protector, and relocations made read-only at start-up. A packager's own
# flags win: whatever of this they already set, or turned off, is left alone,
# so nothing is defined twice or forced against their choice.
option(PLANNER_HARDENING "Build the program with _FORTIFY_SOURCE=2, a stack protector and full RELRO" ON)

# Hardens the sources of `library` and `executable`, and the linking of the
# latter.
function(planner_harden library executable)
  if(NOT PLANNER_HARDENING OR NOT CMAKE_SYSTEM_NAME STREQUAL "Linux"
     OR NOT CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang"
     OR CMAKE_CXX_FLAGS MATCHES "sanitize")  # the sanitizers check more, their own way
    return()
  endif()
  string(TOUPPER "${CMAKE_BUILD_TYPE}" config)
  set(flags "${CMAKE_CXX_FLAGS} ${CMAKE_CXX_FLAGS_${config}}")
  foreach(target ${library} ${executable})
    # Fortified calls need the optimizer; without it glibc warns, which the
    # presets make an error.
    if(NOT flags MATCHES "_FORTIFY_SOURCE")
      target_compile_definitions(${target} PRIVATE
        $<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:_FORTIFY_SOURCE=2>)
    endif()
    if(NOT flags MATCHES "stack-protector")
      target_compile_options(${target} PRIVATE -fstack-protector-strong)
    endif()
  endforeach()
  if(NOT CMAKE_EXE_LINKER_FLAGS MATCHES "relro")  # norelro too
    target_link_options(${executable} PRIVATE "LINKER:-z,relro")
  endif()
  if(NOT CMAKE_EXE_LINKER_FLAGS MATCHES "z,now|z now|lazy")
    target_link_options(${executable} PRIVATE "LINKER:-z,now")
  endif()
endfunction()
