// Registration hooks of the eleven handler modules, in registry order.
#pragma once
#include <iterator>

#include "cgi/dispatchreq.h"

#define NVR_DECLARE_MODULE(mod)  \
  void register_##mod##_module(); \
  void unregister_##mod##_module();

NVR_DECLARE_MODULE(aging)    // "/3300" aging test switches
NVR_DECLARE_MODULE(alarm)    // "/6020" alarm inputs and outputs
NVR_DECLARE_MODULE(camera)   // "/2001" camera channels and parameter relay
NVR_DECLARE_MODULE(network)  // "/7000" network settings
NVR_DECLARE_MODULE(ptz)      // "/5000" PTZ control
NVR_DECLARE_MODULE(record)   // "/6030" record schedules and holidays
NVR_DECLARE_MODULE(status)   // "/8000" device and channel status
NVR_DECLARE_MODULE(storage)  // "/6100" disks and network storage
NVR_DECLARE_MODULE(stream)   // "/4000" live view, playback, download
NVR_DECLARE_MODULE(system)   // "/1000" system administration
NVR_DECLARE_MODULE(video)    // "/6000" video and event settings

// Defines the two hooks of a module from its table.
#define NVR_DEFINE_MODULE(mod, table)                                                \
  void register_##mod##_module() { WebResRegister(table, static_cast<int>(std::size(table))); } \
  void unregister_##mod##_module() { WebResUnregister(table, static_cast<int>(std::size(table))); }

// A module whose table holds no rows yet.
#define NVR_DEFINE_EMPTY_MODULE(mod)   \
  void register_##mod##_module() {}   \
  void unregister_##mod##_module() {}
