#include "platform/translate.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "base/paths.h"

namespace {

std::map<int, std::string>* g_texts = nullptr;

bool language_name_ok(const char* s) {
  const size_t n = s ? std::strlen(s) : 0;
  if (n == 0 || n > 31) return false;
  for (size_t i = 0; i < n; ++i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-'))
      return false;
  }
  return true;
}

bool load(const std::string& language) {
  FILE* f = std::fopen(nvr_path("/opt/app/trans/" + language + ".txt").c_str(), "r");
  if (!f) return false;
  char line[1024];
  while (std::fgets(line, sizeof line, f)) {
    line[std::strcspn(line, "\r\n")] = '\0';
    if (line[0] == '#' || line[0] == '\0') continue;
    char* eq = std::strchr(line, '=');
    if (!eq) continue;
    *eq = '\0';
    char* end = nullptr;
    const long id = std::strtol(line, &end, 10);
    if (end == line || *end != '\0') continue;
    (*g_texts)[static_cast<int>(id)] = eq + 1;
  }
  std::fclose(f);
  return true;
}

}  // namespace

int trans_init(const char* language) {
  trans_deinit();
  g_texts = new std::map<int, std::string>();
  if (language_name_ok(language) && load(language)) return 0;
  return load("en") ? 0 : -1;
}

const char* trans_get_value(int id) {
  if (!g_texts) return "";
  auto it = g_texts->find(id);
  return it == g_texts->end() ? "" : it->second.c_str();
}

void trans_deinit() {
  delete g_texts;
  g_texts = nullptr;
}
