// Device, channel, disk and network status.
// Request table whose first name is "/8000".
#include "handlers/modules.h"

NVR_DEFINE_EMPTY_MODULE(status)
