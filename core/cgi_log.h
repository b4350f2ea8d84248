// The debug log (cgi_log, CGI_LOG) live in base/, the lowest layer,
// which platform/ uses as well; every module keeps including this header.
#pragma once
#include "base/cgi_log.h"
