# The simulated Windows machine behind platform/ (the Linux build): its state
# lives in host files, its network calls go over the host's sockets with
# OpenSSL, and the libraries of the Linux build are found here.
find_package(Threads REQUIRED)
find_package(OpenSSL REQUIRED)
find_package(ZLIB REQUIRED)
find_package(nlohmann_json REQUIRED)
find_package(Qt6 REQUIRED COMPONENTS Widgets Test)
# The resource compiler and the image drawing script.
find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(BVL_IMPLEMENTATION sim)
bvl_library(bvl_platform platform/sim)
target_link_libraries(bvl_platform PUBLIC Threads::Threads nlohmann_json::nlohmann_json OpenSSL::Crypto OpenSSL::SSL)
# Stub PE files on a machine's drive run the built-in programs of this folder
# (tools/builtins/).
target_compile_definitions(bvl_platform PRIVATE BVL_BUILTIN_DIR="${PROJECT_BINARY_DIR}/tools/builtins")
