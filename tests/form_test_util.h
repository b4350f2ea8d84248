// Shared pieces of the form layer tests: a private NVR_ROOT, a body fed to
// the decoder through cgiIn, and a snapshot of the decoded entries.
#pragma once
#include <dirent.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cgi/cgic.h"
#include "cgi/cgic_entries.h"
#include "core/paths.h"
#include "temp_dir.h"

namespace formtest {

struct EntrySnap {
  std::string name, value;
  int value_length;
  std::string file_name, content_type;
  bool is_file;
  std::string file_bytes;
  bool operator==(const EntrySnap& o) const {
    return name == o.name && value == o.value && value_length == o.value_length &&
           file_name == o.file_name && content_type == o.content_type && is_file == o.is_file &&
           file_bytes == o.file_bytes;
  }
};

inline std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

inline std::vector<EntrySnap> snapshot() {
  std::vector<EntrySnap> out;
  for (const FormEntry* e = cgiFormEntryList(); e; e = e->next)
    out.push_back({e->name, e->value, e->value_length, e->file_name, e->content_type,
                   !e->temp_file.empty(), e->temp_file.empty() ? "" : slurp(e->temp_file)});
  return out;
}

inline std::vector<std::string> list_dir(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* de = readdir(d))
      if (std::strcmp(de->d_name, ".") != 0 && std::strcmp(de->d_name, "..") != 0)
        names.push_back(de->d_name);
    closedir(d);
  }
  return names;
}

// A fixture with its own NVR_ROOT (and <root>/tmp); on tear-down the entries
// are released and <root>/tmp must be empty.
class FormFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = make_temp_dir("nvr-form");
    ASSERT_FALSE(root_.empty());
    mkdir((root_ + "/tmp").c_str(), 0755);
    setenv("NVR_ROOT", root_.c_str(), 1);
    nvr_root_reset();
    cgiFreeFormEntries();
  }
  void TearDown() override {
    cgiFreeFormEntries();
    close_in();
    EXPECT_TRUE(list_dir(root_ + "/tmp").empty()) << "temporary files left behind";
    std::string cmd = "rm -rf '" + root_ + "'";
    if (std::system(cmd.c_str()) != 0) {
    }
    unsetenv("NVR_ROOT");
    nvr_root_reset();
  }

  void close_in() {
    if (in_) std::fclose(in_);
    in_ = nullptr;
    cgiIn = nullptr;
  }

  // Decodes body with the given boundary; content_length < 0 means the
  // body's size.
  int decode(const std::string& body, const std::string& boundary, long content_length = -1) {
    close_in();
    body_ = body;
    boundary_ = boundary;
    cgiMultipartBoundary = boundary_.c_str();
    cgiContentLength = static_cast<int>(content_length < 0 ? body_.size() : content_length);
    // fmemopen refuses a zero-sized buffer: an empty body reads from /dev/null.
    in_ = body_.empty() ? std::fopen("/dev/null", "rb") : fmemopen(&body_[0], body_.size(), "rb");
    cgiIn = in_;
    return cgiDecodeMultipartBody();
  }

  // Bytes the decoder took from cgiIn.
  long consumed() { return in_ ? std::ftell(in_) : -1; }

  std::string root_;
  std::string body_, boundary_;
  FILE* in_ = nullptr;
};

// A field part and a file part in multipart form.
inline std::string field_part(const std::string& boundary, const std::string& name,
                              const std::string& value) {
  return "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" +
         value + "\r\n";
}

inline std::string file_part(const std::string& boundary, const std::string& name,
                             const std::string& file_name, const std::string& content,
                             const std::string& type = "application/octet-stream") {
  return "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + name +
         "\"; filename=\"" + file_name + "\"\r\nContent-Type: " + type + "\r\n\r\n" + content +
         "\r\n";
}

inline std::string closing(const std::string& boundary) { return "--" + boundary + "--\r\n"; }

}  // namespace formtest
