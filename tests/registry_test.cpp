#include <gtest/gtest.h>

#include "cgi/dispatchreq.h"
