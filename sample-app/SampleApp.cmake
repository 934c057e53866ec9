# The sample managed application: the core assembly with the standalone host and the product "Lumenix",
# compiled with Mono's C# compiler for the .NET Framework 4 profile into ${LX_SAMPLE_APP_DIR}. That folder
# holds exactly the files of the sample pack and nothing else.
#
# Beside it, ${LX_SAMPLE_PLAIN_DIR} holds the product as a vendor would ship it without the launcher: the plain
# managed exe LumenixPlain.exe with copies of the same assemblies (for the start benchmark).
#
# The product's texts are resources: the neutral ones embedded in Lumenix.dll, the German ones in the satellite
# de/Lumenix.resources.dll below ${LX_SAMPLE_SATELLITE_DIR}, which the product as it ships with sub-folders
# carries (make-shipped-folder.py lays that out). WriteResources.exe, run with Debian's mono, compiles the
# texts (*.restext) into .resources files.
#
# Provides: LX_SAMPLE_APP_DIR, LX_SAMPLE_APP_FILES (the assemblies), target lx_sample_app, LX_MCS, LX_MONO,
# LX_SAMPLE_PLAIN_DIR, LX_SAMPLE_PLAIN_EXE, target lx_sample_plain, LX_SAMPLE_SATELLITE_DIR,
# LX_SAMPLE_SATELLITE_DLL (de/Lumenix.resources.dll below it), target lx_sample_satellite.
include_guard(GLOBAL)

find_program(LX_MCS mcs DOC "Mono C# compiler (Debian package mono-mcs)")
find_program(LX_MONO mono DOC "Mono runtime (Debian package mono-runtime)")
if(NOT LX_MCS)
  message(FATAL_ERROR "mcs was not found: install the Debian package mono-mcs (scripts/install-deps.sh).")
endif()
if(NOT LX_MONO)
  message(FATAL_ERROR "mono was not found: install the Debian package mono-runtime (scripts/install-deps.sh).")
endif()

# Debian's Mono has only the 4.5 runtime profile and no reference-assembly folders: "-sdk:4" cannot be
# resolved there (warning CS8001) and mcs falls back to that same profile. Without -sdk it builds the same
# .NET Framework 4 assemblies (runtime v4.0.30319, mscorlib 4.0.0.0) quietly.
set(LX_MCS_FLAGS "-nologo;-optimize+;-platform:anycpu" CACHE STRING "Flags for every mcs call of the sample")

set(LX_SAMPLE_APP_DIR ${CMAKE_BINARY_DIR}/sample-app)
set(_lx_sample_src ${CMAKE_CURRENT_LIST_DIR})

set(_lx_host_sources
  ${_lx_sample_src}/host/AssemblyInfo.cs
  ${_lx_sample_src}/host/KestStandaloneApplicationHost.cs)
set(_lx_product_sources
  ${_lx_sample_src}/product/AssemblyInfo.cs
  ${_lx_sample_src}/product/MainForm.cs
  ${_lx_sample_src}/product/Program.cs)

# The product's texts, compiled into the .resources files that its assemblies embed.
set(_lx_resources_dir ${CMAKE_BINARY_DIR}/sample-resources)
set(_lx_write_resources ${_lx_resources_dir}/WriteResources.exe)
add_custom_command(
  OUTPUT ${_lx_write_resources}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${_lx_resources_dir}
  COMMAND ${LX_MCS} ${LX_MCS_FLAGS} -target:exe -out:${_lx_write_resources} ${_lx_sample_src}/tools/WriteResources.cs
  DEPENDS ${_lx_sample_src}/tools/WriteResources.cs
  COMMENT "Compiling the sample's resource compiler WriteResources.exe"
  VERBATIM)
# lx_sample_resources(<.restext> <.resources>)
function(lx_sample_resources text resources)
  add_custom_command(
    OUTPUT ${resources}
    COMMAND ${LX_MONO} ${_lx_write_resources} ${text} ${resources}
    DEPENDS ${text} ${_lx_write_resources}
    COMMENT "Compiling the sample's texts ${text}"
    VERBATIM)
endfunction()
set(_lx_neutral_resources ${_lx_resources_dir}/Lumenix.Strings.resources)
set(_lx_german_resources ${_lx_resources_dir}/Lumenix.Strings.de.resources)
lx_sample_resources(${_lx_sample_src}/product/Strings.restext ${_lx_neutral_resources})
lx_sample_resources(${_lx_sample_src}/satellite/Strings.de.restext ${_lx_german_resources})
# One target makes them, so that the assemblies' targets never run these commands side by side.
add_custom_target(lx_sample_resources DEPENDS ${_lx_neutral_resources} ${_lx_german_resources})

set(_lx_host_dll ${LX_SAMPLE_APP_DIR}/Corvane.Platform.Tessarine.UI.Standalone.dll)
set(_lx_product_dll ${LX_SAMPLE_APP_DIR}/Lumenix.dll)
set(LX_SAMPLE_APP_FILES ${_lx_host_dll} ${_lx_product_dll})

add_custom_command(
  OUTPUT ${_lx_host_dll}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${LX_SAMPLE_APP_DIR}
  COMMAND ${LX_MCS} ${LX_MCS_FLAGS} -target:library -out:${_lx_host_dll} ${_lx_host_sources}
  DEPENDS ${_lx_host_sources}
  COMMENT "Compiling the sample core assembly Corvane.Platform.Tessarine.UI.Standalone.dll"
  VERBATIM)
add_custom_command(
  OUTPUT ${_lx_product_dll}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${LX_SAMPLE_APP_DIR}
  COMMAND ${LX_MCS} ${LX_MCS_FLAGS} -target:library -r:System.Windows.Forms.dll -r:System.Drawing.dll
          -resource:${_lx_neutral_resources},Lumenix.Strings.resources -out:${_lx_product_dll} ${_lx_product_sources}
  DEPENDS ${_lx_product_sources} ${_lx_neutral_resources}
  COMMENT "Compiling the sample product assembly Lumenix.dll"
  VERBATIM)
add_custom_target(lx_sample_app ALL DEPENDS ${LX_SAMPLE_APP_FILES})
add_dependencies(lx_sample_app lx_sample_resources)

# The German satellite, named and versioned as the runtime's culture probing asks for it.
set(LX_SAMPLE_SATELLITE_DIR ${CMAKE_BINARY_DIR}/sample-satellites)
set(LX_SAMPLE_SATELLITE_DLL ${LX_SAMPLE_SATELLITE_DIR}/de/Lumenix.resources.dll)
add_custom_command(
  OUTPUT ${LX_SAMPLE_SATELLITE_DLL}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${LX_SAMPLE_SATELLITE_DIR}/de
  COMMAND ${LX_MCS} ${LX_MCS_FLAGS} -target:library -resource:${_lx_german_resources},Lumenix.Strings.de.resources
          -out:${LX_SAMPLE_SATELLITE_DLL} ${_lx_sample_src}/satellite/AssemblyInfo.cs
  DEPENDS ${_lx_sample_src}/satellite/AssemblyInfo.cs ${_lx_german_resources}
  COMMENT "Compiling the sample's German satellite de/Lumenix.resources.dll"
  VERBATIM)
add_custom_target(lx_sample_satellite ALL DEPENDS ${LX_SAMPLE_SATELLITE_DLL})
add_dependencies(lx_sample_satellite lx_sample_resources)

set(LX_SAMPLE_PLAIN_DIR ${CMAKE_BINARY_DIR}/sample-plain)
set(LX_SAMPLE_PLAIN_EXE ${LX_SAMPLE_PLAIN_DIR}/LumenixPlain.exe)
set(_lx_plain_source ${_lx_sample_src}/plain/LumenixPlain.cs)
add_custom_command(
  OUTPUT ${LX_SAMPLE_PLAIN_EXE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${LX_SAMPLE_PLAIN_DIR}
  COMMAND ${CMAKE_COMMAND} -E copy ${LX_SAMPLE_APP_FILES} ${LX_SAMPLE_PLAIN_DIR}
  COMMAND ${LX_MCS} ${LX_MCS_FLAGS} -target:winexe -r:${_lx_host_dll} -out:${LX_SAMPLE_PLAIN_EXE} ${_lx_plain_source}
  DEPENDS ${_lx_plain_source} ${LX_SAMPLE_APP_FILES}
  COMMENT "Compiling the plain managed exe of the sample, LumenixPlain.exe"
  VERBATIM)
add_custom_target(lx_sample_plain ALL DEPENDS ${LX_SAMPLE_PLAIN_EXE})
# After the sample's own target, so that the two never compile the same assemblies side by side.
add_dependencies(lx_sample_plain lx_sample_app)
