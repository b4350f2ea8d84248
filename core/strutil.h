// Bounded text helpers (copy_text, copy_field, field_view, ...) live in
// base/, the lowest layer, which platform/ uses as well; every module keeps
// including this header.
#pragma once
#include "base/strutil.h"
