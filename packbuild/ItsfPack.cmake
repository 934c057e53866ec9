# itsfpack, the container writer of the pack build, built for the build machine with Free Pascal.
#
# It drives the ITSF writer of Free Pascal's chm package (Debian fpc-source-3.2.2, fp-units-misc-3.2.2).
# The package's writer is compiled from a copy of its source with four mends:
#   - the hook that writes a note naming the tool into every container becomes overridable, so that
#     itsfpack can leave the note out;
#   - its end-of-data test stops one byte early, so a last file of one byte (or a read that ends one byte
#     before the end) lost its last byte; it now stops at the end;
#   - it took chunk 0 for "no listing chunk yet", so a directory of several listing chunks named the second
#     one as the first in the ITSP header, and readers that walk the listing from there missed the first
#     chunk's files; the field is now set by the first listing chunk written, whatever its index.
#   - it wrote a directory entry only for the folders that hold files ("/runtimes/win-x64/native/", but not
#     "/runtimes/" or "/runtimes/win-x64/"); every folder level now gets one (folder-levels.inc), as help
#     compilers write them, so that readers that build the tree from the directory entries see every level.
# Provides LX_ITSFPACK, the program, and the target lx_itsfpack that builds it.
include_guard(GLOBAL)

find_program(LX_FPC NAMES fpc DOC "Free Pascal compiler (Debian package fp-compiler-3.2.2)")
if(NOT LX_FPC)
  message(FATAL_ERROR "fpc was not found: scripts/install-deps.sh installs fp-compiler-3.2.2.")
endif()
set(LX_CHM_SOURCE_DIR /usr/share/fpcsrc/3.2.2/packages/chm/src CACHE PATH
    "Sources of Free Pascal's chm package (Debian package fpc-source-3.2.2)")

set(_lx_itsfpack_dir ${CMAKE_BINARY_DIR}/itsfpack)
set(LX_ITSFPACK ${_lx_itsfpack_dir}/itsfpack)

# lx_mend_source(<text var> <file> <old> <new>): replaces the one occurrence of old, or stops the configure
# step when the source is not the one these mends were written for.
function(lx_mend_source text_var file old new)
  string(FIND "${${text_var}}" "${old}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${file} is not the version itsfpack was written for: cannot find\n${old}")
  endif()
  string(REPLACE "${old}" "${new}" text "${${text_var}}")
  set(${text_var} "${text}" PARENT_SCOPE)
endfunction()

set(_lx_chmwriter ${LX_CHM_SOURCE_DIR}/chmwriter.pas)
if(NOT EXISTS ${_lx_chmwriter})
  message(FATAL_ERROR "${_lx_chmwriter} does not exist: install fpc-source-3.2.2 (scripts/install-deps.sh) "
                      "or point LX_CHM_SOURCE_DIR at the chm package's sources.")
endif()
file(READ ${_lx_chmwriter} _lx_writer_text)
lx_mend_source(_lx_writer_text ${_lx_chmwriter}
  "    procedure WriteInternalFilesBefore; virtual;\n"
  "  protected\n    procedure WriteInternalFilesBefore; virtual;\n  private\n")
lx_mend_source(_lx_writer_text ${_lx_chmwriter}
  "Result := Integer(FCurrentStream.Position) >= Integer(FCurrentStream.Size)-1;"
  "Result := FCurrentStream.Position >= FCurrentStream.Size;")
lx_mend_source(_lx_writer_text ${_lx_chmwriter}
  "    if HeaderSection1.FirstPMGLChunkIndex <= 0 then\n"
  "    if LastListIndex < 0 then // no listing chunk written before this one\n")
file(READ ${LX_PACKBUILD_DIR}/folder-levels.inc _lx_folder_levels)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${LX_PACKBUILD_DIR}/folder-levels.inc)
lx_mend_source(_lx_writer_text ${_lx_chmwriter}
  "begin\n  // first sort the listings\n  FInternalFiles.Sort;\n"
  "${_lx_folder_levels}begin\n  AddFolderLevels;\n  // first sort the listings\n  FInternalFiles.Sort;\n")
# Written through a scratch copy so that an unchanged unit keeps its time and nothing is rebuilt.
file(WRITE ${_lx_itsfpack_dir}/chmwriter.pas.new "${_lx_writer_text}")
configure_file(${_lx_itsfpack_dir}/chmwriter.pas.new ${_lx_itsfpack_dir}/chmwriter.pas COPYONLY)
# The program beside the mended unit: Free Pascal looks in the program's own folder first.
configure_file(${LX_PACKBUILD_DIR}/itsfpack.pas ${_lx_itsfpack_dir}/itsfpack.pas COPYONLY)

file(MAKE_DIRECTORY ${_lx_itsfpack_dir}/units)
# -vm hides the warnings that the package's own sources give (abstract generics, implicit string conversions).
add_custom_command(
  OUTPUT ${LX_ITSFPACK}
  COMMAND ${LX_FPC} -O2 -ve -vm4046,4104,4105 -Fi${LX_CHM_SOURCE_DIR} -FU${_lx_itsfpack_dir}/units -FE${_lx_itsfpack_dir}
          ${_lx_itsfpack_dir}/itsfpack.pas
  DEPENDS ${_lx_itsfpack_dir}/itsfpack.pas ${_lx_itsfpack_dir}/chmwriter.pas
  WORKING_DIRECTORY ${_lx_itsfpack_dir}
  COMMENT "Building itsfpack, the pack's container writer"
  VERBATIM)
add_custom_target(lx_itsfpack DEPENDS ${LX_ITSFPACK} SOURCES ${LX_PACKBUILD_DIR}/itsfpack.pas)
