/* The public header compiles by itself as C. */
#include <zarn/zarn.h>

uint32_t zarn_header_alone_c(void) { return ZARN_VERSION_MAJOR + (uint32_t)sizeof(zarn_info); }
