# Hardening of the launcher's own code (not of the tests' or the tools').
#
# Stack cookies: -fstack-protector-strong puts a guard value behind the buffers of every function that has one
# and checks it before the function returns; the compiler driver links its check and guard in (libssp with
# Debian 12's mingw-w64, statically, so the exe still imports only system DLLs).
#
# Left off on purpose:
# - CET shadow stacks (the linker's CETCOMPAT mark): the .NET Framework's CLR sets thread contexts in its
#   exception handling, which ends a process that runs with shadow stacks. The exe test
#   ExeImports.NotMarkedForShadowStacks keeps it so.
# - Control Flow Guard: it needs a compiler and a C runtime built for it, which Debian's mingw-w64 is not.

# lx_harden_product_code(<target>...)
# Compiles the targets' own sources with stack cookies; every program that links one of them links the check.
function(lx_harden_product_code)
  if(MSVC)
    return()
  endif()
  foreach(target ${ARGN})
    if(NOT TARGET ${target})
      message(FATAL_ERROR "Hardening.cmake: lx_harden_product_code names ${target}, which is no target")
    endif()
    target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:C,CXX>:-fstack-protector-strong>)
    target_link_options(${target} PUBLIC -fstack-protector-strong)
  endforeach()
endfunction()
