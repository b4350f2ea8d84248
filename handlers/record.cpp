// Record schedules and holidays.
// Request table whose first name is "/6030".
#include "handlers/modules.h"

NVR_DEFINE_EMPTY_MODULE(record)
