// System administration: login, users, maintenance, logs.
// Request table whose first name is "/1000".
#include "handlers/modules.h"

NVR_DEFINE_EMPTY_MODULE(system)
