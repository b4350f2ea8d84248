// Video and event settings.
// Request table whose first name is "/6000".
#include "handlers/modules.h"

NVR_DEFINE_EMPTY_MODULE(video)
