# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (the POSIX-threads
# compilers, for std::thread). MIRELUNE_WIN_PREFIX holds the static libraries
# scripts/windows.sh builds; nothing of the build machine's /usr is looked at.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(MIRELUNE_WIN_PREFIX "" CACHE PATH "The static Windows libraries")
set(CMAKE_FIND_ROOT_PATH ${MIRELUNE_WIN_PREFIX} /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
if(MIRELUNE_WIN_PREFIX)  # not in CMake's compiler checks, which run this file again without it
  set(ENV{PKG_CONFIG_LIBDIR} ${MIRELUNE_WIN_PREFIX}/lib/pkgconfig)
  set(ENV{PKG_CONFIG_PATH} "")
endif()
# Static libraries need their own dependencies named too.
set(PKG_CONFIG_ARGN --static)
# One self-contained program: no libstdc++, libgcc or winpthread DLL beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
