# Cross-build for Windows with MinGW-w64 (posix thread model, so std::thread and std::mutex exist),
# for the processor ZUK_MINGW_TRIPLET names (i686-w64-mingw32 or x86_64-w64-mingw32).  Included by
# the two toolchain files.  Tests run the resulting .exe files through Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${ZUK_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZUK_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ZUK_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${ZUK_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
# Everything the product needs comes from system DLLs: the GCC runtime and winpthread are linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
