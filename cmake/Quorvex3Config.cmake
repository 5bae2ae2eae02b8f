# The Quorvex3 SDK as a CMake package. Quorvex3::Quorvex3 gives the headers in
# include/ and the GUID definitions; Quorvex3_BIN_DIR holds the DLLs and the
# assembly manifests that a program uses without registration.
include(${CMAKE_CURRENT_LIST_DIR}/Quorvex3Targets.cmake)
get_filename_component(Quorvex3_BIN_DIR ${CMAKE_CURRENT_LIST_DIR}/../../../bin ABSOLUTE)
