// Alarm inputs and outputs of the recorder and of its cameras.
// Request table whose first name is "/6020".
#include "handlers/modules.h"

NVR_DEFINE_EMPTY_MODULE(alarm)
