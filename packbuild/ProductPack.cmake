# The product pack and the artwork that the launcher's resource script embeds.
#
# Include this from the top CMakeLists.txt (before add_subdirectory(tests)). Cache options:
#   LUMENIX_PACK_DIR    folder whose files become the pack (default: the sample application's output)
#   LUMENIX_SPLASH_PNG  splash image (default: resources/splash.png)
#   LUMENIX_ICON        application icon (default: resources/lumenix.ico)
#   LUMENIX_PACK_TEMP_LENGTH  length of the users' TEMP path that the pack's cache paths must fit under
#                       (default 48: C:\Users\<20 characters>\AppData\Local\Temp)
# Provides:
#   LX_PRODUCT_PACK_FILE        ${CMAKE_BINARY_DIR}/pack/ProductContent.chm, built and verified, and beside it
#                               ProductContent.size, the bytes of its files in decimal digits
#   LX_PACK_SOURCE_DIR          the folder it is made from (LUMENIX_PACK_DIR made absolute)
#   LX_PACK_RESOURCE_DIR        the folder holding it, for the resource compiler's -I
#   LX_CORRUPT_PACK_FILE        ${CMAKE_BINARY_DIR}/pack-corrupt/ProductContent.chm, bytes that are no container
#                               (its ProductContent.size is empty: no size is known)
#   LX_CORRUPT_PACK_RESOURCE_DIR  the folder holding that one
#   LX_RESOURCES_GENERATED_DIR  ${CMAKE_BINARY_DIR}/resources-generated with splash.png and lumenix.ico
#   target lx_product_pack      builds all of the above
#   lx_embed_product_pack(<target> [CORRUPT | PACK_DIR <folder> PACK_TARGET <target>])  wires a target's .rc
#                               to the pack (or another ProductContent.chm) and the chosen artwork
#   LX_PACKBUILD_DIR, LX_PYTHON3, LX_ITSFPACK (target lx_itsfpack), LX_EXTRACT_CHMLIB  for the pack tests
include_guard(GLOBAL)

set(LX_PACKBUILD_DIR ${CMAKE_CURRENT_LIST_DIR})
include(${LX_PACKBUILD_DIR}/../sample-app/SampleApp.cmake)
include(${LX_PACKBUILD_DIR}/ItsfPack.cmake)

find_program(LX_PYTHON3 NAMES python3 DOC "Python 3 interpreter for the pack scripts")
find_program(LX_EXTRACT_CHMLIB NAMES extract_chmLib DOC "libchm's extractor (Debian package libchm-bin)")
foreach(_lx_tool LX_PYTHON3 LX_EXTRACT_CHMLIB)
  if(NOT ${_lx_tool})
    message(FATAL_ERROR "${_lx_tool} was not found: scripts/install-deps.sh installs python3 "
                        "and libchm-bin (extract_chmLib).")
  endif()
endforeach()

set(LUMENIX_PACK_DIR "${LX_SAMPLE_APP_DIR}" CACHE PATH
    "Folder whose files become the product pack (default: the sample application)")
set(LUMENIX_SPLASH_PNG "${CMAKE_SOURCE_DIR}/resources/splash.png" CACHE FILEPATH "Splash image (PNG)")
set(LUMENIX_ICON "${CMAKE_SOURCE_DIR}/resources/lumenix.ico" CACHE FILEPATH "Application icon (.ico)")
set(LUMENIX_PACK_TEMP_LENGTH 48 CACHE STRING
    "Length of the users' TEMP path under which every file of the pack must have a Windows path in the cache")
if(NOT LUMENIX_PACK_TEMP_LENGTH MATCHES "^[0-9]+$")
  message(FATAL_ERROR "LUMENIX_PACK_TEMP_LENGTH is no number of characters: ${LUMENIX_PACK_TEMP_LENGTH}")
endif()

set(LX_PACK_RESOURCE_DIR ${CMAKE_BINARY_DIR}/pack)
set(LX_PRODUCT_PACK_FILE ${LX_PACK_RESOURCE_DIR}/ProductContent.chm)
set(LX_CORRUPT_PACK_RESOURCE_DIR ${CMAKE_BINARY_DIR}/pack-corrupt)
set(LX_CORRUPT_PACK_FILE ${LX_CORRUPT_PACK_RESOURCE_DIR}/ProductContent.chm)
set(LX_RESOURCES_GENERATED_DIR ${CMAKE_BINARY_DIR}/resources-generated)

set(_lx_pack_scripts ${LX_PACKBUILD_DIR}/build-pack.py)

# The folder's files: the sample's are build outputs; a vendor folder is globbed again at every build, so a
# new or removed file re-runs the configure step and a changed one re-runs the pack.
cmake_path(ABSOLUTE_PATH LUMENIX_PACK_DIR NORMALIZE OUTPUT_VARIABLE _lx_pack_dir)
cmake_path(ABSOLUTE_PATH LX_SAMPLE_APP_DIR NORMALIZE OUTPUT_VARIABLE _lx_sample_dir)
string(REGEX REPLACE "/$" "" _lx_pack_dir "${_lx_pack_dir}")
string(REGEX REPLACE "/$" "" _lx_sample_dir "${_lx_sample_dir}")
set(LX_PACK_SOURCE_DIR ${_lx_pack_dir})
if(_lx_pack_dir STREQUAL _lx_sample_dir)
  set(_lx_pack_inputs ${LX_SAMPLE_APP_FILES})
  set(_lx_pack_source "the sample application")
else()
  if(NOT IS_DIRECTORY "${_lx_pack_dir}")
    message(FATAL_ERROR "LUMENIX_PACK_DIR is not a folder: ${LUMENIX_PACK_DIR}")
  endif()
  file(GLOB_RECURSE _lx_pack_inputs CONFIGURE_DEPENDS LIST_DIRECTORIES false "${_lx_pack_dir}/*")
  if(NOT _lx_pack_inputs)
    message(FATAL_ERROR "LUMENIX_PACK_DIR holds no files: ${LUMENIX_PACK_DIR}")
  endif()
  set(_lx_pack_source "${_lx_pack_dir}")
endif()

add_custom_command(
  OUTPUT ${LX_PRODUCT_PACK_FILE} ${LX_PACK_RESOURCE_DIR}/ProductContent.size
  COMMAND ${LX_PYTHON3} ${LX_PACKBUILD_DIR}/build-pack.py
          --itsfpack ${LX_ITSFPACK} --extract-chmlib ${LX_EXTRACT_CHMLIB}
          --temp-length ${LUMENIX_PACK_TEMP_LENGTH}
          --cache-folder "Corvane\\Lumenix\\v${PROJECT_VERSION}\\ProductContentCache"
          ${LX_PACK_SOURCE_DIR} ${LX_PRODUCT_PACK_FILE}
  DEPENDS ${_lx_pack_scripts} ${_lx_pack_inputs} ${LX_ITSFPACK} lx_itsfpack
  COMMENT "Building the product pack from ${_lx_pack_source}"
  VERBATIM)

# Deliberately no container at all: the launcher variant built with it shows the failure to open the pack.
file(CONFIGURE OUTPUT ${LX_CORRUPT_PACK_FILE} CONTENT
"This is not an ITSF container. Lumenix test build: a deliberately corrupt product pack.
The launcher must fail to open it as a structured storage and say so.
" NEWLINE_STYLE UNIX)
file(CONFIGURE OUTPUT ${LX_CORRUPT_PACK_RESOURCE_DIR}/ProductContent.size CONTENT "")

# The chosen artwork under the names that the resource script uses; this folder comes first with -I.
foreach(_lx_art "LUMENIX_SPLASH_PNG;splash.png" "LUMENIX_ICON;lumenix.ico")
  list(GET _lx_art 0 _lx_var)
  list(GET _lx_art 1 _lx_name)
  if(NOT EXISTS "${${_lx_var}}")
    message(FATAL_ERROR "${_lx_var} names a file that does not exist: ${${_lx_var}}")
  endif()
  configure_file("${${_lx_var}}" ${LX_RESOURCES_GENERATED_DIR}/${_lx_name} COPYONLY)
endforeach()

add_custom_target(lx_product_pack ALL DEPENDS ${LX_PRODUCT_PACK_FILE}
  SOURCES ${_lx_pack_scripts} ${LX_PACKBUILD_DIR}/itsf-check.py ${LX_PACKBUILD_DIR}/make-bench-folder.py)
if(_lx_pack_dir STREQUAL _lx_sample_dir)
  add_dependencies(lx_product_pack lx_sample_app)
endif()

# lx_embed_product_pack(<target> [CORRUPT | PACK_DIR <folder> PACK_TARGET <target>])
# Lets the target's resource script find ProductContent.chm and its ProductContent.size (the real pack, with
# CORRUPT the corrupt one, with PACK_DIR the one in that folder, which PACK_TARGET builds), splash.png and
# lumenix.ico in the generated folders before resources/, and rebuilds it when they change.
function(lx_embed_product_pack target)
  cmake_parse_arguments(ARG "CORRUPT" "PACK_DIR;PACK_TARGET" "" ${ARGN})
  set(pack_target lx_product_pack)
  if(ARG_CORRUPT)
    set(pack_dir ${LX_CORRUPT_PACK_RESOURCE_DIR})
    set(pack_file ${LX_CORRUPT_PACK_FILE})
  elseif(ARG_PACK_DIR)
    set(pack_dir ${ARG_PACK_DIR})
    set(pack_file ${ARG_PACK_DIR}/ProductContent.chm)
    set(pack_target ${ARG_PACK_TARGET} lx_product_pack)
  else()
    set(pack_dir ${LX_PACK_RESOURCE_DIR})
    set(pack_file ${LX_PRODUCT_PACK_FILE})
  endif()
  add_dependencies(${target} ${pack_target})
  target_include_directories(${target} BEFORE PRIVATE ${LX_RESOURCES_GENERATED_DIR} ${pack_dir})
  get_target_property(sources ${target} SOURCES)
  foreach(source IN LISTS sources)
    if(source MATCHES "\\.rc$")
      set_property(SOURCE ${source} APPEND PROPERTY OBJECT_DEPENDS
        ${pack_file} ${LX_RESOURCES_GENERATED_DIR}/splash.png ${LX_RESOURCES_GENERATED_DIR}/lumenix.ico)
    endif()
  endforeach()
endfunction()
