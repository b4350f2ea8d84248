// Live view, playback control and recording download.
// Request table whose first name is "/4000".
#include "handlers/modules.h"

NVR_DEFINE_EMPTY_MODULE(stream)
