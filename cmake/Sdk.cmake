# The SDK of one architecture. `cmake --install` lays out
#   bin/      the DLLs, quorvexcfg and the assembly manifests (registration-free use)
#   lib/      the type libraries, the GUID library and the CMake package
#   include/  the generated interface headers and GUID definitions
#   examples/ a client that finds the package and links Quorvex3::Quorvex3
# and `cpack` zips it as Quorvex3-<version>-windows-<arch>.zip.
include(CMakePackageConfigHelpers)

set(sdk_generated ${PROJECT_BINARY_DIR}/sdk)
set(server_out ${PROJECT_BINARY_DIR}/server)
set(contracts_out ${PROJECT_BINARY_DIR}/contracts)
set(tagserver_out ${PROJECT_BINARY_DIR}/outside/tagserver)
configure_file(${PROJECT_SOURCE_DIR}/outside/tagserver/TagServer.manifest.in ${sdk_generated}/TagServer.manifest @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/examples/sdk/QuorvexClient.exe.manifest.in
               ${sdk_generated}/QuorvexClient.exe.manifest @ONLY)

# The GUIDs of both type libraries as one static library, so a client needs
# no C compiler for the generated _i.c files.
add_library(quorvex3_sdk_guids STATIC ${server_out}/Quorvex3_i.c ${contracts_out}/TagServer_i.c
                                      ${tagserver_out}/TagServerLib_i.c)
add_dependencies(quorvex3_sdk_guids quorvex3_idl quorvex_contracts quorvex_tagserver_ids)
set_target_properties(quorvex3_sdk_guids PROPERTIES OUTPUT_NAME Quorvex3Guids EXPORT_NAME Quorvex3)
target_include_directories(quorvex3_sdk_guids PRIVATE ${server_out} ${contracts_out} ${tagserver_out}
                           INTERFACE $<INSTALL_INTERFACE:include>)
target_link_libraries(quorvex3_sdk_guids INTERFACE ole32 oleaut32 uuid)

install(TARGETS quorvex3 quorvex_tagserver quorvex_log quorvexcfg RUNTIME DESTINATION bin)
install(FILES ${server_out}/Quorvex3.manifest ${sdk_generated}/TagServer.manifest DESTINATION bin)
install(FILES ${server_out}/Quorvex3Patched.tlb DESTINATION lib RENAME Quorvex3.tlb)
install(FILES ${tagserver_out}/TagServerLib.tlb DESTINATION lib)
install(FILES ${server_out}/Quorvex3.h ${server_out}/Quorvex3_i.c ${contracts_out}/TagServer.h
              ${contracts_out}/TagServer_i.c ${tagserver_out}/TagServerLib.h ${tagserver_out}/TagServerLib_i.c
        DESTINATION include)
install(TARGETS quorvex3_sdk_guids EXPORT Quorvex3Targets ARCHIVE DESTINATION lib)
install(EXPORT Quorvex3Targets NAMESPACE Quorvex3:: DESTINATION lib/cmake/Quorvex3)
write_basic_package_version_file(${sdk_generated}/Quorvex3ConfigVersion.cmake COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_SOURCE_DIR}/cmake/Quorvex3Config.cmake ${sdk_generated}/Quorvex3ConfigVersion.cmake
        DESTINATION lib/cmake/Quorvex3)
install(FILES ${PROJECT_SOURCE_DIR}/examples/sdk/CMakeLists.txt ${PROJECT_SOURCE_DIR}/examples/sdk/QuorvexClient.cpp
              ${sdk_generated}/QuorvexClient.exe.manifest
        DESTINATION examples)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Quorvex3)
set(CPACK_PACKAGE_VENDOR "Brenlow Zandel")
set(CPACK_SYSTEM_NAME windows-${QUORVEX_ARCH})
include(CPack)
