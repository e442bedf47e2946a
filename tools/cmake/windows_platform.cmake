# The real Windows API behind platform/ (the Windows program, cross-built with
# mingw-w64): mostly forwarders to the system's DLLs, with zlib and libgcrypt
# from the toolchain's own packages.
# The program carries its libraries: only static archives are linked.
set(CMAKE_FIND_LIBRARY_SUFFIXES .a)
find_package(Threads REQUIRED)
find_package(ZLIB REQUIRED)
find_library(BVL_GCRYPT_LIBRARY gcrypt REQUIRED)
find_library(BVL_GPG_ERROR_LIBRARY gpg-error REQUIRED)
find_path(BVL_GCRYPT_INCLUDE_DIR gcrypt.h REQUIRED)

# nlohmann json is header-only and the same for every target; the host's copy
# is made visible alone, without the host's other headers.
set(header_only ${PROJECT_BINARY_DIR}/header-only)
file(MAKE_DIRECTORY ${header_only})
if(NOT EXISTS ${header_only}/nlohmann)
  file(CREATE_LINK /usr/include/nlohmann ${header_only}/nlohmann SYMBOLIC)
endif()
add_library(bvl_nlohmann_json INTERFACE)
target_include_directories(bvl_nlohmann_json SYSTEM INTERFACE ${header_only})

# Windows 7 is the oldest system the installer runs on.
add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX)

set(BVL_IMPLEMENTATION windows)
bvl_library(bvl_platform platform/windows)
target_include_directories(bvl_platform PRIVATE ${BVL_GCRYPT_INCLUDE_DIR})
target_link_libraries(bvl_platform PUBLIC Threads::Threads bvl_nlohmann_json
  PRIVATE ${BVL_GCRYPT_LIBRARY} ${BVL_GPG_ERROR_LIBRARY}
  rpcrt4 shlwapi version ole32 shell32 advapi32 psapi ws2_32)
