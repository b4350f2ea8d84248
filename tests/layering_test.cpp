// Layers point down only: base/ includes nothing of ours but base/, and
// platform/ (the stand-ins for the maker's libraries) only base/ and
// platform/, never core/, handlers/ or cgi/.
#include <dirent.h>
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace {
// "dir/file: include" for each of our includes outside the allowed folders.
std::vector<std::string> includes_outside(const std::string& dir, const std::vector<std::string>& allowed) {
  std::vector<std::string> found;
  const std::string path = std::string(NVR_SOURCE_DIR) + "/" + dir;
  DIR* d = opendir(path.c_str());
  if (!d) return {"cannot open " + path};
  while (dirent* e = readdir(d)) {
    const std::string name = e->d_name;
    if (name[0] == '.') continue;
    std::ifstream in(path + "/" + name);
    std::string line;
    while (std::getline(in, line)) {
      const std::string tag = "#include \"";
      if (line.compare(0, tag.size(), tag) != 0) continue;
      const std::string target = line.substr(tag.size());
      bool ok = false;
      for (const std::string& a : allowed) ok = ok || target.compare(0, a.size(), a) == 0;
      if (!ok) found.push_back(dir + "/" + name + ": " + line);
    }
  }
  closedir(d);
  return found;
}
}  // namespace

TEST(Layers, BaseAndPlatformNeverReachUp) {
  EXPECT_EQ(includes_outside("base", {"base/"}), std::vector<std::string>{});
  EXPECT_EQ(includes_outside("platform", {"base/", "platform/"}), std::vector<std::string>{});
}
