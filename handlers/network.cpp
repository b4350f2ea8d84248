// Network interfaces, ports, services and certificates.
// Request table whose first name is "/7000".
#include "handlers/modules.h"

NVR_DEFINE_EMPTY_MODULE(network)
