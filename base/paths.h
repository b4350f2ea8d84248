// Every absolute path of the system goes through nvr_path(), which puts the
// sandbox root NVR_ROOT (default "/") in front, so tests and the local demo
// run inside a folder of their own.
#pragma once
#include <string>
#include <string_view>

// The root all system paths live under: NVR_ROOT without trailing slashes,
// "" when unset, empty or "/".
const std::string& nvr_root();

// nvr_path("/var/run/zrsocket") -> "<NVR_ROOT>/var/run/zrsocket".
std::string nvr_path(std::string_view abs_path);

// Tests change NVR_ROOT between cases; this drops the cached value.
void nvr_root_reset();
