# The acceptance kit: one zip that a vendor unpacks on each Windows machine they support and runs with lxkit.exe.
# It holds the launcher builds that the tests start, every test executable whose cases hold on a real Windows
# machine without admin rights and without a lasting change to it, their data, and cases.txt, which names each
# case with the program that runs it and the variables it needs.
#   cmake --build --preset mingw-x64 --target acceptance_kit   ->  build/mingw-x64/Lumenix-kit-<release>.zip
# Included from tests/CMakeLists.txt once every test target exists.

set(LX_KIT_NAME Lumenix-kit-${PROJECT_VERSION})
set(LX_KIT_DIR ${CMAKE_BINARY_DIR}/kit)
set(LX_KIT_STAGE ${LX_KIT_DIR}/${LX_KIT_NAME})
set(LX_KIT_ZIP ${CMAKE_BINARY_DIR}/${LX_KIT_NAME}.zip)
# The same limit as ctest's for one case.
set(LX_KIT_TIMEOUT 120)
# The values a case sees: {kit} is the kit's folder, {output} a folder of the case's own below it.
set(LX_KIT_STANDIN "LX_STANDIN_DIR={kit}\\bin\\standin")
set(LX_KIT_LAUNCHER "LUMENIX_EXE={kit}\\bin\\Lumenix.exe")

set_property(GLOBAL PROPERTY LX_KIT_LINES "")
set_property(GLOBAL PROPERTY LX_KIT_PROGRAMS "")

# Whether a case name matches one of the patterns: a full name, or "Suite.*".
function(lx_kit_matches out name)
  set(matched FALSE)
  foreach(pattern ${ARGN})
    if(pattern STREQUAL name)
      set(matched TRUE)
    elseif(pattern MATCHES "^(.+)\\.\\*$")
      # The suite is taken from the match before the name is compared with it.
      string(LENGTH "${CMAKE_MATCH_1}." length)
      string(SUBSTRING "${name}" 0 ${length} lead)
      if(lead STREQUAL "${CMAKE_MATCH_1}.")
        set(matched TRUE)
      endif()
    endif()
  endforeach()
  set(${out} ${matched} PARENT_SCOPE)
endfunction()

# lx_kit_suite(<test target> [ENVIRONMENT VAR=VALUE...] [LEAVE_OUT <case or Suite.*>...])
# Puts the target's cases into the kit, but those that LEAVE_OUT names (each name must match a case, so that a
# renamed test cannot slip in unnoticed).
function(lx_kit_suite target)
  cmake_parse_arguments(ARG "" "" "ENVIRONMENT;LEAVE_OUT" ${ARGN})
  get_property(cases TARGET ${target} PROPERTY LX_GTEST_CASES)
  if(NOT cases)
    message(FATAL_ERROR "AcceptanceKit.cmake: ${target} is no test executable of lx_add_gtest (no cases)")
  endif()
  foreach(pattern ${ARG_LEAVE_OUT})
    set(used FALSE)
    foreach(name ${cases})
      lx_kit_matches(matched ${name} ${pattern})
      if(matched)
        set(used TRUE)
      endif()
    endforeach()
    if(NOT used)
      message(FATAL_ERROR "AcceptanceKit.cmake: LEAVE_OUT ${pattern} of ${target} matches no case")
    endif()
  endforeach()
  string(REPLACE ";" "\t" environment "${ARG_ENVIRONMENT}")
  foreach(name ${cases})
    lx_kit_matches(left_out ${name} ${ARG_LEAVE_OUT})
    if(NOT left_out)
      set(line "${name}\tbin\\${target}.exe\t${LX_KIT_TIMEOUT}")
      if(environment)
        string(APPEND line "\t${environment}")
      endif()
      set_property(GLOBAL APPEND_STRING PROPERTY LX_KIT_LINES "${line}\n")
    endif()
  endforeach()
  set_property(GLOBAL APPEND PROPERTY LX_KIT_PROGRAMS ${target})
endfunction()

# In-process tests: nothing of Wine's.
foreach(target lx_com_support_tests lx_launch_sequence_tests lx_dll_search_tests lx_report_tests lx_version_tests
               lx_netfx_registry_tests lx_requirements_dialog_tests lx_clr_slots_tests lx_pack_extraction_tests
               lx_content_cache_tests lx_splash_tests lx_splash_large_tests lx_splash_bad_image_tests
               lx_splash_empty_image_tests lx_splash_missing_image_tests)
  lx_kit_suite(${target})
endforeach()

# In-process tests of the hosting road: the stand-in is loaded by its path into the test's own process.
foreach(target lx_clr_roads_tests lx_app_domain_tests lx_clr_loader_tests)
  lx_kit_suite(${target} ENVIRONMENT ${LX_KIT_STANDIN})
endforeach()
lx_kit_suite(lx_pack_resource_tests ENVIRONMENT ${LX_KIT_STANDIN} "LX_SAMPLE_APP_DIR={kit}\\data\\sample-app")
lx_kit_suite(lx_pack_component_tests
  ENVIRONMENT "LX_MANY_FILES_DIR={kit}\\data\\many-files" "LX_MANY_FILES_PACK={kit}\\data\\many-files.chm")
lx_kit_suite(lx_nested_pack_tests
  ENVIRONMENT "LX_NESTED_PACK={kit}\\data\\nested.chm" "LX_NESTED_MANIFEST={kit}\\data\\nested.txt")

# The exe as a file. The rest of the process tests can only run under Wine:
# - the Windows version that the launcher is shown is Wine's to fake;
# - the launcher loads its hosting library from the system folder, where these tests put the stand-in;
# - a machine without any hosting library is Wine's, told not to load its own.
lx_kit_suite(lx_process_tests ENVIRONMENT ${LX_KIT_LAUNCHER}
  LEAVE_OUT OsVersionGate.* CommandLine.* ManagedStart.* DllSearch.* ProductPack.*)

# The real launcher on the machine's own CLR.
lx_kit_suite(lx_mono_runtime_tests
  ENVIRONMENT ${LX_KIT_LAUNCHER} "LUMENIX_NATIVE_PACK_EXE={kit}\\bin\\LumenixNativePack.exe"
              "LUMENIX_WITHOUT_CORE_EXE={kit}\\bin\\LumenixWithoutCore.exe"
              "LUMENIX_SHIPPED_EXE={kit}\\bin\\LumenixShipped.exe" "LX_OUTPUT_DIR={output}")

get_property(_lx_kit_lines GLOBAL PROPERTY LX_KIT_LINES)
get_property(_lx_kit_programs GLOBAL PROPERTY LX_KIT_PROGRAMS)
file(GENERATE OUTPUT ${LX_KIT_DIR}/cases.txt CONTENT
  "# ${LX_KIT_NAME}: one case a line: name, program, time limit in seconds, the case's variables (tab-separated).\n${_lx_kit_lines}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/README.txt ${LX_KIT_DIR}/README.txt @ONLY NEWLINE_STYLE CRLF)

set(_lx_kit_launchers Lumenix LumenixNativePack LumenixWithoutCore LumenixShipped)
set(_lx_kit_binaries "")
foreach(target ${_lx_kit_programs} ${_lx_kit_launchers})
  list(APPEND _lx_kit_binaries $<TARGET_FILE:${target}>)
endforeach()
set(_lx_kit_standin_commands "")
foreach(variant full v2 nobind none)
  list(APPEND _lx_kit_standin_commands
    COMMAND ${CMAKE_COMMAND} -E copy ${LX_STANDIN_DIR}/${variant}/mscoree.dll ${LX_KIT_STAGE}/bin/standin/${variant}/mscoree.dll)
endforeach()

add_custom_command(
  OUTPUT ${LX_KIT_ZIP}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${LX_KIT_STAGE} ${LX_KIT_ZIP}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${LX_KIT_STAGE}/bin ${LX_KIT_STAGE}/data/sample-app
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:lxkit> ${LX_KIT_DIR}/cases.txt ${LX_KIT_DIR}/README.txt ${LX_KIT_STAGE}
  COMMAND ${CMAKE_COMMAND} -E copy ${_lx_kit_binaries} ${LX_KIT_STAGE}/bin
  ${_lx_kit_standin_commands}
  COMMAND ${CMAKE_COMMAND} -E copy ${LX_SAMPLE_APP_FILES} ${LX_KIT_STAGE}/data/sample-app
  # The start benchmark (lxkit.exe --start-bench): its watcher, and the product as a plain managed exe.
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:lx_start_watch> ${LX_KIT_STAGE}/bin
  COMMAND ${CMAKE_COMMAND} -E make_directory ${LX_KIT_STAGE}/bin/plain
  COMMAND ${CMAKE_COMMAND} -E copy ${LX_SAMPLE_PLAIN_EXE} ${LX_SAMPLE_APP_FILES} ${LX_KIT_STAGE}/bin/plain
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${LX_MANY_FILES_DIR} ${LX_KIT_STAGE}/data/many-files
  COMMAND ${CMAKE_COMMAND} -E copy ${LX_MANY_FILES_PACK} ${LX_NESTED_PACK} ${LX_NESTED_MANIFEST} ${LX_KIT_STAGE}/data
  COMMAND ${CMAKE_COMMAND} -E tar cf ${LX_KIT_ZIP} --format=zip ${LX_KIT_NAME}
  WORKING_DIRECTORY ${LX_KIT_DIR}
  DEPENDS lxkit ${_lx_kit_programs} ${_lx_kit_launchers} lx_standin_variants lx_sample_app lx_many_files_pack
          lx_nested_pack ${LX_KIT_DIR}/cases.txt ${LX_KIT_DIR}/README.txt ${LX_SAMPLE_APP_FILES} ${LX_MANY_FILES_PACK}
          ${LX_NESTED_PACK} lx_start_watch lx_sample_plain ${LX_SAMPLE_PLAIN_EXE}
  COMMENT "Making the acceptance kit ${LX_KIT_NAME}.zip"
  VERBATIM)
add_custom_target(acceptance_kit DEPENDS ${LX_KIT_ZIP})
