# The splash's progress bar during a long first start: the cache options LUMENIX_SPLASH_PROGRESS and
# LUMENIX_SPLASH_PROGRESS_COLOR.
#
# Provides
#   lx_write_splash_options(<folder> <ON|OFF> <RRGGBB>)  writes lumenix_splash.h, read by the entry point of
#                                                         each launcher build
include_guard(GLOBAL)

option(LUMENIX_SPLASH_PROGRESS "Show a progress bar on the splash while a long first start unpacks the product" ON)
set(LUMENIX_SPLASH_PROGRESS_COLOR "28C8D2" CACHE STRING
    "Colour of the splash's progress bar: six hexadecimal digits RRGGBB")

# lx_check_splash_color(<text>): stops with a message that names the option when the text is no RRGGBB colour.
function(lx_check_splash_color text)
  if(NOT text MATCHES "^[0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f]$")
    message(FATAL_ERROR "LUMENIX_SPLASH_PROGRESS_COLOR is \"${text}\": it must be six hexadecimal digits RRGGBB, "
                        "such as 28C8D2, without a leading # or 0x.")
  endif()
endfunction()

lx_check_splash_color("${LUMENIX_SPLASH_PROGRESS_COLOR}")

function(lx_write_splash_options folder enabled color)
  lx_check_splash_color("${color}")
  if(enabled)
    set(LX_SPLASH_PROGRESS_VALUE 1)
  else()
    set(LX_SPLASH_PROGRESS_VALUE 0)
  endif()
  set(LX_SPLASH_PROGRESS_RGB_VALUE "0x${color}")
  file(CONFIGURE OUTPUT ${folder}/lumenix_splash.h NEWLINE_STYLE UNIX @ONLY CONTENT
"/* The splash's progress bar, from the build's LUMENIX_SPLASH_PROGRESS and LUMENIX_SPLASH_PROGRESS_COLOR.
   Generated: do not edit. */
#ifndef LUMENIX_SPLASH_H
#define LUMENIX_SPLASH_H

#define LUMENIX_SPLASH_PROGRESS      @LX_SPLASH_PROGRESS_VALUE@
#define LUMENIX_SPLASH_PROGRESS_RGB  @LX_SPLASH_PROGRESS_RGB_VALUE@

#endif /* LUMENIX_SPLASH_H */
")
endfunction()
