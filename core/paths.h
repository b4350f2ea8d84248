// nvr_path() and the sandbox root live in base/, the lowest layer,
// which platform/ uses as well; every module keeps including this header.
#pragma once
#include "base/paths.h"
