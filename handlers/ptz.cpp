// PTZ control.
// Request table whose first name is "/5000".
#include "handlers/modules.h"

NVR_DEFINE_EMPTY_MODULE(ptz)
