// Aging test switches used by production and aging tests.
// Request table whose first name is "/3300".
#include "handlers/modules.h"

NVR_DEFINE_EMPTY_MODULE(aging)
