# zarn_sound on Win32: the ring back end on DirectSound (DSOUND.DLL loaded at
# run time) and the waveOut back end on WINMM.
add_library(zarn_sound STATIC
  attenuation.cpp
  pcm_gain.cpp
  sound_record.cpp
  shared_sound_device.cpp
  direct_sound_output.cpp
  direct_sound_win32.cpp
  wave_out_output.cpp
  waveout_win32.cpp
  sound_systems.cpp)
target_include_directories(zarn_sound PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(zarn_sound PUBLIC zarn_memory winmm)
zarn_warnings(zarn_sound)
