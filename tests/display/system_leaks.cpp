// Blocks that the system's D-Bus library keeps after an X connection closes.
extern "C" const char* __lsan_default_suppressions() { return "leak:libdbus-1.so\n"; }
