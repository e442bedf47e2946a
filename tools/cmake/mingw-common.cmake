# What both mingw-w64 toolchains share: the compilers of the triplet, its
# sysroot as the only place libraries are found, and a static runtime so that
# the programs need no DLL beside them.
set(CMAKE_C_COMPILER ${BVL_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${BVL_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${BVL_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${BVL_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Programs are run under Wine when the build runs them (test discovery).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../wine-run.sh)
