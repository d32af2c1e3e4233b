# Real-mode DOS programs (.COM) built with the host's GCC: -m16 makes 32-bit
# code that runs in real mode on a 386 or later (gas's .code16gcc). Nothing
# of the C or C++ library is linked; dos/rm supplies the little that is
# needed. The top-level CMakeLists.txt builds only dos/ with this file.
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR i386)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_ASM_COMPILER gcc)
# The compiler checks cannot link a program without our start code.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
set(ORVANE_DOS_REAL_MODE ON)

# regparm(3) and a 4-byte stack alignment keep the code small (the Linux
# kernel's real-mode setup code is built the same way); sections per
# function let the linker drop what a program does not use.
set(_orvane_rm_flags
    "-m16 -march=i386 -ffreestanding -fno-pic -fno-pie -fno-stack-protector -fcf-protection=none \
-fno-asynchronous-unwind-tables -fno-unwind-tables -mregparm=3 -mpreferred-stack-boundary=2 \
-ffunction-sections -fdata-sections -nostdlib")
set(CMAKE_C_FLAGS_INIT "${_orvane_rm_flags}")
set(CMAKE_CXX_FLAGS_INIT
    "${_orvane_rm_flags} -fno-exceptions -fno-rtti -fno-threadsafe-statics -fno-use-cxa-atexit")
set(CMAKE_ASM_FLAGS_INIT "-m16 -march=i386")
set(CMAKE_EXE_LINKER_FLAGS_INIT
    "-nostdlib -nostartfiles -static -no-pie -Wl,--gc-sections -Wl,--build-id=none")
