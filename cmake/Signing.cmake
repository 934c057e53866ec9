# Authenticode signing of the launcher, after every link, when the vendor names a key.
#   LUMENIX_SIGN_PKCS12         PKCS#12 file with the code-signing key and its certificate chain (empty: unsigned)
#   LUMENIX_SIGN_TIMESTAMP_URL  RFC 3161 time-stamping server (optional)
# The password is read from the environment variable LUMENIX_SIGN_PASSWORD when the signing step runs; it is
# never an option, so it stays out of the cache, the generated files and the build's command lines.
include_guard(GLOBAL)

set(LUMENIX_SIGN_PKCS12 "" CACHE FILEPATH
    "PKCS#12 file with the code-signing key and chain; empty leaves Lumenix.exe unsigned")
set(LUMENIX_SIGN_TIMESTAMP_URL "" CACHE STRING "RFC 3161 time-stamping server for the signature (optional)")

# lx_sign_after_build(<target> <description>): signs the target's file after each link when a key is named.
function(lx_sign_after_build target description)
  if(LUMENIX_SIGN_PKCS12 STREQUAL "")
    return()
  endif()
  find_program(LX_OSSLSIGNCODE NAMES osslsigncode DOC "Authenticode signing tool (Debian package osslsigncode)")
  if(NOT LX_OSSLSIGNCODE)
    message(FATAL_ERROR "LUMENIX_SIGN_PKCS12 is set, but osslsigncode was not found: scripts/install-deps.sh "
                        "installs the Debian package osslsigncode.")
  endif()
  get_filename_component(pkcs12 "${LUMENIX_SIGN_PKCS12}" ABSOLUTE BASE_DIR "${CMAKE_SOURCE_DIR}")
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND bash ${CMAKE_SOURCE_DIR}/cmake/sign-exe.sh ${LX_OSSLSIGNCODE} ${pkcs12} ${description}
            "${LUMENIX_SIGN_TIMESTAMP_URL}" $<TARGET_FILE:${target}>
    COMMENT "Signing $<TARGET_FILE_NAME:${target}> with ${pkcs12}"
    VERBATIM)
endfunction()
