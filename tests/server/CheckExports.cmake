# cmake -DOBJDUMP=... -DDLL=... -P CheckExports.cmake
# The DLL must export exactly DllCanUnloadNow, DllGetClassObject,
# DllRegisterServer and DllUnregisterServer, undecorated, by ordinals 1 to 4.
execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE dump RESULT_VARIABLE result)
string(REGEX MATCH "Ordinal Base ([0-9]+)" _ "${dump}")
set(base "${CMAKE_MATCH_1}")
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n(([ \t]+\\[[ 0-9]+\\] [^\n]+\n)+)" _ "${dump}")
string(REGEX MATCHALL "\\[ *[0-9]+\\] [^\n]+" rows "${CMAKE_MATCH_1}")
set(found "")
foreach(row IN LISTS rows)
  string(REGEX MATCH "\\[ *([0-9]+)\\] ([^ \n]+)" _ "${row}")
  math(EXPR ordinal "${CMAKE_MATCH_1} + ${base}")
  list(APPEND found "${CMAKE_MATCH_2}@${ordinal}")
endforeach()
set(expected DllCanUnloadNow@1 DllGetClassObject@2 DllRegisterServer@3 DllUnregisterServer@4)
if(NOT result EQUAL 0 OR NOT base OR NOT found STREQUAL expected)
  message(FATAL_ERROR "Exports of ${DLL} (${OBJDUMP}: ${result}):\n  found    ${found}\n  expected ${expected}")
endif()
