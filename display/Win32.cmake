# zarn_display on Win32: the platform-free arithmetic, DirectDraw (loaded at
# run time, no import library) and the GDI targets.
add_library(zarn_display STATIC
  display_formats.cpp
  display_geometry.cpp
  display_mode_walk.cpp
  display_target_geometry.cpp
  display_style_walk.cpp
  blit_style_names.cpp
  display_mode_win32.cpp
  direct_draw_win32.cpp
  display_cursor_win32.cpp
  display_target_win32.cpp
  display_blit_win32.cpp)
target_include_directories(zarn_display PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(zarn_display PUBLIC zarn_memory gdi32 user32)
zarn_warnings(zarn_display)
