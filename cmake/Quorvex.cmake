# Target platform settings and the helpers every folder uses.

if(WIN32)
  enable_language(RC)
  add_compile_definitions(UNICODE _UNICODE _WIN32_WINNT=0x0601 WINVER=0x0601)
  # Static runtime: the DLLs and programs import only system DLLs, so they run
  # in any prefix and on any Windows without shipping mingw's runtime.
  add_link_options(-static -static-libgcc -static-libstdc++)
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
    set(QUORVEX_ARCH x86)
    set(QUORVEX_MANIFEST_ARCH x86)  # as activation manifests name it
    add_link_options(-Wl,--enable-stdcall-fixup)
  else()
    set(QUORVEX_ARCH x64)
    set(QUORVEX_MANIFEST_ARCH amd64)
  endif()
  include(cmake/WineAvailability.cmake)
else()
  set(QUORVEX_ARCH native)
endif()

if(QUORVEX_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

function(quorvex_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wno-unused-parameter)
endfunction()

# quorvex_add_gtest(<name> SOURCES ... [LIBS ...] [FIXTURE <name>])
# Builds a GoogleTest program. On Linux every case becomes a CTest test; under
# Wine the program is one CTest test that needs the Wine server fixture
# (default "wine", or the given one, which itself depends on "wine").
function(quorvex_add_gtest name)
  cmake_parse_arguments(ARG "" "FIXTURE" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gmock GTest::gtest_main)
  quorvex_warnings(${name})
  if(NOT WIN32)
    include(GoogleTest)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 30)
  elseif(QUORVEX_RUNS_TESTS_UNDER_WINE)
    if(NOT ARG_FIXTURE)
      set(ARG_FIXTURE wine)
    endif()
    add_test(NAME ${name} COMMAND ${name})
    # CTest does not order tests by a fixture's own fixtures: without naming
    # "wine" too, a test may run after wine.stop.
    set(fixtures wine ${ARG_FIXTURE})
    list(REMOVE_DUPLICATES fixtures)
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED "${fixtures}" TIMEOUT 300)
  endif()
endfunction()

if(WIN32)
  set(QUORVEX_WINE_IDL_DIR /usr/include/wine/wine/windows CACHE PATH "System IDL files (libwine-dev)")
  set(QUORVEX_STDOLE_DIR /usr/lib/x86_64-linux-gnu/wine/x86_64-windows CACHE PATH "Folder of stdole2.tlb")
endif()

# quorvex_widl(<file.idl> [TLB]) compiles an IDL file with widl into the
# current binary folder: <name>.h, <name>_i.c (the GUIDs) and, with TLB,
# <name>.tlb. Sets <name>_HEADER, <name>_IID_SOURCE and <name>_TLB.
function(quorvex_widl idl)
  cmake_parse_arguments(ARG "TLB" "" "" ${ARGN})
  get_filename_component(name ${idl} NAME_WE)
  get_filename_component(idl_path ${idl} ABSOLUTE)
  get_filename_component(idl_dir ${idl_path} DIRECTORY)
  set(out ${CMAKE_CURRENT_BINARY_DIR})
  set(outputs ${out}/${name}.h ${out}/${name}_i.c)
  set(tlb_args)
  if(ARG_TLB)
    list(APPEND outputs ${out}/${name}.tlb)
    set(tlb_args -t -T ${out}/${name}.tlb)
  endif()
  add_custom_command(
    OUTPUT ${outputs}
    COMMAND ${QUORVEX_WIDL} -I ${QUORVEX_WINE_IDL_DIR} -I ${idl_dir} -I ${PROJECT_SOURCE_DIR}/contracts
            -I ${PROJECT_BINARY_DIR}/contracts -L ${QUORVEX_STDOLE_DIR}
            -h -H ${out}/${name}.h -u -U ${out}/${name}_i.c ${tlb_args} ${idl_path}
    DEPENDS ${idl_path}
    COMMENT "widl ${name}.idl"
    VERBATIM)
  set(${name}_HEADER ${out}/${name}.h PARENT_SCOPE)
  set(${name}_IID_SOURCE ${out}/${name}_i.c PARENT_SCOPE)
  set(${name}_TLB ${out}/${name}.tlb PARENT_SCOPE)
endfunction()

