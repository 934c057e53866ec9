# The release number: the one place it is written is the cache option LUMENIX_VERSION.
#
# Include before project(). Checks the value and provides
#   LX_VERSION_MAJOR, LX_VERSION_MINOR, LX_VERSION_BUILD, LX_VERSION_REVISION  its four numbers
#   lx_write_version_files(<folder>)  writes lumenix_version.h (for the sources and the resource script) and
#                                     Lumenix.manifest (from resources/Lumenix.manifest.in) into the folder
# The launcher unpacks its pack into a folder named after this number, so every release needs a new one.
include_guard(GLOBAL)

set(LUMENIX_VERSION "1.1.1.511" CACHE STRING
    "Release number: four numbers from 0 to 65535 joined by dots (version resource, manifest, cache folder)")

# lx_parse_version(<text>): sets LX_VERSION_MAJOR ... LX_VERSION_REVISION, or stops with a message that names
# the option and what is wrong with the value.
function(lx_parse_version text)
  set(number "(0|[1-9][0-9]*)")
  if(NOT text MATCHES "^${number}\\.${number}\\.${number}\\.${number}$")
    message(FATAL_ERROR "LUMENIX_VERSION is \"${text}\": it must be four decimal numbers joined by dots, "
                        "without leading zeros, such as 1.1.1.511.")
  endif()
  set(parts ${CMAKE_MATCH_1} ${CMAKE_MATCH_2} ${CMAKE_MATCH_3} ${CMAKE_MATCH_4})
  foreach(part IN LISTS parts)
    string(LENGTH "${part}" digits)
    if(digits GREATER 5 OR part GREATER 65535)
      message(FATAL_ERROR "LUMENIX_VERSION is \"${text}\": each number must be at most 65535 (the version "
                          "resource holds 16 bits a number); ${part} is not.")
    endif()
  endforeach()
  list(GET parts 0 LX_VERSION_MAJOR)
  list(GET parts 1 LX_VERSION_MINOR)
  list(GET parts 2 LX_VERSION_BUILD)
  list(GET parts 3 LX_VERSION_REVISION)
  foreach(name MAJOR MINOR BUILD REVISION)
    set(LX_VERSION_${name} ${LX_VERSION_${name}} PARENT_SCOPE)
  endforeach()
endfunction()

lx_parse_version("${LUMENIX_VERSION}")

function(lx_write_version_files folder)
  file(CONFIGURE OUTPUT ${folder}/lumenix_version.h NEWLINE_STYLE UNIX @ONLY CONTENT
"/* The release number, from the build's LUMENIX_VERSION. Generated: do not edit. */
#ifndef LUMENIX_VERSION_H
#define LUMENIX_VERSION_H

#define LUMENIX_VERSION_MAJOR     @LX_VERSION_MAJOR@
#define LUMENIX_VERSION_MINOR     @LX_VERSION_MINOR@
#define LUMENIX_VERSION_BUILD     @LX_VERSION_BUILD@
#define LUMENIX_VERSION_REVISION  @LX_VERSION_REVISION@
#define LUMENIX_VERSION_TEXT      \"@LUMENIX_VERSION@\"
#define LUMENIX_VERSION_WTEXT     L\"@LUMENIX_VERSION@\"

#endif /* LUMENIX_VERSION_H */
")
  configure_file(${CMAKE_SOURCE_DIR}/resources/Lumenix.manifest.in ${folder}/Lumenix.manifest @ONLY
                 NEWLINE_STYLE UNIX)
endfunction()
