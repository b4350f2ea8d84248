// Camera channels and the settings relayed to the cameras.
// Request table whose first name is "/2001".
#include "handlers/modules.h"

NVR_DEFINE_EMPTY_MODULE(camera)
