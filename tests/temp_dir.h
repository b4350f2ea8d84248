// Fresh temporary folders of the tests and fuzz targets, below NVR_TEST_TMP
// (the build's own temporary folder) or /tmp.
#pragma once
#include <sys/stat.h>

#include <cstdlib>
#include <string>
#include <vector>

// Makes <base>/<prefix>-XXXXXX (and the base when missing); its path, or ""
// when it cannot be made.
inline std::string make_temp_dir(const std::string& prefix) {
  const char* t = std::getenv("NVR_TEST_TMP");
  const std::string base = t && *t ? t : "/tmp";
  mkdir(base.c_str(), 0755);
  const std::string tmpl = base + "/" + prefix + "-XXXXXX";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  if (!mkdtemp(buf.data())) return "";
  return buf.data();
}
