# Whether this machine can run the build's Windows programs under Wine.
# 32-bit Wine needs a kernel that runs 32-bit Linux programs: a kernel built
# with its 32-bit emulation off (dmesg: "32-bit emulation disabled. You can
# reenable with ia32_emulation=on") refuses the 32-bit loader with "Exec format
# error", and then no 32-bit Windows program can run. Asked at every configure.
if(QUORVEX_ARCH STREQUAL "x86")
  set(loader wine)
else()
  set(loader /usr/lib/wine/wine64)
endif()
execute_process(COMMAND ${loader} --version RESULT_VARIABLE status OUTPUT_VARIABLE version
                ERROR_VARIABLE reason OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_STRIP_TRAILING_WHITESPACE)
if(status EQUAL 0)
  set(QUORVEX_RUNS_TESTS_UNDER_WINE ON)
  message(STATUS "Tests of ${QUORVEX_ARCH} run under ${version} (${loader})")
else()
  set(QUORVEX_RUNS_TESTS_UNDER_WINE OFF)
  string(STRIP "${status} ${reason}" reason)
  if(QUORVEX_ARCH STREQUAL "x86" AND reason MATCHES "Exec format error")
    string(APPEND reason " (this kernel does not run 32-bit programs: its 32-bit emulation is off, ia32_emulation)")
  endif()
  set(QUORVEX_WINE_UNAVAILABLE "the ${QUORVEX_ARCH} Wine loader (${loader}) cannot run on this machine: ${reason}")
  message(WARNING "Windows tests are not run: ${QUORVEX_WINE_UNAVAILABLE}")
endif()
