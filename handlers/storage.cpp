// Disks, RAID, network storage and quotas.
// Request table whose first name is "/6100".
#include "handlers/modules.h"

NVR_DEFINE_EMPTY_MODULE(storage)
