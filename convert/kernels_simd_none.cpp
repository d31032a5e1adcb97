// Builds for processors without the x86 vector sets: only plain routines.
#include "convert/kernel_types.h"

namespace zarn {

bool FillSse2Groups(GroupEntry (*)[6]) { return false; }
bool FillAvx2Groups(GroupEntry (*)[6]) { return false; }
bool FillAvx512Blocks(GroupEntry (*)[6]) { return false; }
void FenceStreamingStores() {}

}  // namespace zarn
