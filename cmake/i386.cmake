# Builds the launcher for Linux on 32-bit x86 with the native compiler's -m32 (Debian's
# g++-multilib). The tests are built natively and run this launcher through qemu-i386.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_FLAGS_INIT "-m32")
set(CMAKE_CXX_FLAGS_INIT "-m32")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(BOOTLOADER_TESTS OFF CACHE BOOL "GoogleTest is built for the native target only")
