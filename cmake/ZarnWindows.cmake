# The native Windows build (cross-compiled with MinGW-w64): the portable core,
# the Win32 layers under it and the player. No SDL, no encoder or tools.
#   ZARN_CLOSING_PICTURE_SOURCE  the closing picture's generated source, made
#                                by a host build (encoder/closing_picture.cpp)
#   ZARN_WINDOWS_TESTS           also build the core's tests that run on Windows

set(ZARN_CLOSING_PICTURE_SOURCE "" CACHE FILEPATH "closing_picture.cpp from a host build")
option(ZARN_WINDOWS_TESTS "Build the Windows test programs" OFF)

# One file to hand to a user: no runtime DLLs beside the program.
add_link_options(-static)
# The Windows x64 ABI keeps the stack 16-byte aligned only, so spilled 256-bit
# values must not use aligned moves.
add_compile_options(-Wa,-muse-unaligned-vector-move)
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX)

# The SDL2 stand-in is not part of this build.
set(ZARN_PLATFORM OFF)

find_package(Threads REQUIRED)

add_subdirectory(engine)
add_subdirectory(video)
add_subdirectory(audio)
add_subdirectory(convert)
add_subdirectory(player)
add_subdirectory(display)
add_subdirectory(sound)

if(ZARN_WINDOWS_TESTS)
  # GoogleTest from its Debian source package, built for the target.
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  add_subdirectory(tests/windows)
endif()
