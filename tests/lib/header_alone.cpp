// The public header compiles by itself as C++.
#include <zarn/zarn.h>

uint32_t ZarnHeaderAloneCxx() { return ZARN_VERSION_MAJOR + static_cast<uint32_t>(sizeof(zarn_info)); }
