// The clock and the random source live in base/, the lowest layer,
// which platform/ uses as well; every module keeps including this header.
#pragma once
#include "base/clock.h"
