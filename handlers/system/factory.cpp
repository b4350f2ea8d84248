// The factory command interface of production and service tools. Serves
// "/vb.htm".
//
// The request text is a list of commands written name=value and joined by
// '&', or one command name without value. Commands are found through a
// 64-bucket hash of the command table and each answers in plain text: the
// database parameters of the decoder and HDMI hot plug, the language, the
// identity chip (read and rewritten through the chip tool), the OEM reset
// and the software version.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>

#include "core/archive.h"
#include "core/cgi_util.h"
#include "handlers/system/system.h"

namespace sysadmin {

namespace {

constexpr int REQ_SET_LANGUAGE = 4000;
constexpr char kChipFile[] = "/tmp/chipinfo.txt";
constexpr char kChipReadMark[] = "Read old:";
constexpr size_t kChipLen = 32;
constexpr char kOemDir[] = "/mnt/nand2";
constexpr char kAppBinDir[] = "/opt/app/bin";
constexpr char kWebDir[] = "/opt/app/www";
constexpr char kWebArchive[] = "web.tar.gz";
constexpr ArchiveLimits kWebLimits = {20000, 256u << 20};
constexpr char kAppDir[] = "/mnt/nand/app";
constexpr char kDefaultSoftVersion[] = "7x.7.0.9";

// ---- Parsed request ----
constexpr int kMaxPairs = 64;
constexpr size_t kPairTextSize = 64;  // 63 characters and the terminator
constexpr size_t kArgScan = 255;      // '=' are counted in this many characters
constexpr size_t kTextWindow = 64;    // every name and value lies in these

struct HttpOptionPair {
  char name[kPairTextSize];
  char value[kPairTextSize];
};

// ---- Replies ----
// Each command answers for itself; the answers of one request go out under
// one header block, one line each. A request whose commands answer nothing
// writes nothing.
std::string g_replies;
bool g_replied = false;

void factory_reply(std::string_view text) {
  if (g_replied && !g_replies.empty() && g_replies.back() != '\n') g_replies += "\r\n";
  g_replies.append(text.data(), text.size());
  g_replied = true;
}

// ---- Command table ----
using HttpOptionFn = void (*)(const HttpOptionPair& pair);

struct HttpOption {
  const char* name;
  HttpOptionFn run;
  int32_t kind;  // 2 for "softversion", else 0
  int32_t argc;  // 1 in every row
};

void opt_setlang(const HttpOptionPair& pair);
void opt_setdefault(const HttpOptionPair& pair);
void opt_decode(const HttpOptionPair& pair);
void opt_hotplug(const HttpOptionPair& pair);
void opt_oemclean(const HttpOptionPair& pair);
void opt_paratest(const HttpOptionPair& pair);
void opt_chipupdate(const HttpOptionPair& pair);
void opt_modelupdate(const HttpOptionPair& pair);
void opt_softversion(const HttpOptionPair& pair);

const HttpOption HttpOptionTable[] = {
    {"setlang", opt_setlang, 0, 1},         {"setdefault", opt_setdefault, 0, 1},
    {"decode", opt_decode, 0, 1},           {"hotplug", opt_hotplug, 0, 1},
    {"oemclean", opt_oemclean, 0, 1},       {"paratest", opt_paratest, 0, 1},
    {"chipupdate", opt_chipupdate, 0, 1},   {"modelupdate", opt_modelupdate, 0, 1},
    {"softversion", opt_softversion, 2, 1},
};
constexpr size_t kOptionCount = sizeof HttpOptionTable / sizeof HttpOptionTable[0];

// Names that make a request on their own, without '=' (the empty entries
// included: an empty text is the command "").
constexpr size_t kNoArgEntries = 10;
const char HTTP_OPTION_NO_ARG[kNoArgEntries][64] = {"oemclean", "pavor", "debug", "softversion"};

// ---- Hash of the command table ----
constexpr uint32_t kBuckets = 64;

struct HashEntry {
  const HttpOption* row;
  HashEntry* next;
};
struct CmdHash {
  HashEntry* buckets[kBuckets];
  HashEntry entries[kOptionCount];
  size_t used;
};

uint32_t hash_cal_value(const char* name) {
  uint32_t h = 0;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p; ++p) h = h * 37u + *p;
  return h % kBuckets;
}

void hash_table_init(CmdHash* hash) { std::memset(hash, 0, sizeof *hash); }

// Puts the row at the head of its bucket.
int hash_insert_entry(CmdHash* hash, const HttpOption* row) {
  if (hash->used >= kOptionCount) return -1;
  HashEntry* e = &hash->entries[hash->used++];
  const uint32_t b = hash_cal_value(row->name);
  e->row = row;
  e->next = hash->buckets[b];
  hash->buckets[b] = e;
  return 0;
}

const HttpOption* http_option_search(const CmdHash* hash, const char* name) {
  for (const HashEntry* e = hash->buckets[hash_cal_value(name)]; e; e = e->next)
    if (std::strcmp(e->row->name, name) == 0) return e->row;
  return nullptr;
}

void hash_table_destory(CmdHash* hash) { std::memset(hash, 0, sizeof *hash); }

// ---- Request parsing ----
bool is_httpoption_no_arg(const char* text) {
  for (const auto& entry : HTTP_OPTION_NO_ARG)
    if (std::strcmp(entry, text) == 0) return true;
  return false;
}

int get_httpoption_argnum(const char* text) {
  int n = 0;
  for (size_t i = 0; i < kArgScan && text[i]; ++i) n += text[i] == '=';
  return n;
}

// Splits up to count pairs: the name runs to the next '=', the value to the
// next '&'. Every character taken must lie within the first 64 of the text.
// The number of pairs, or -1.
int ui_decodeing(const char* text, int count, HttpOptionPair* pairs) {
  size_t pos = 0;
  int n = 0;
  for (; n < count && n < kMaxPairs && text[pos]; ++n) {
    HttpOptionPair& p = pairs[n];
    std::memset(&p, 0, sizeof p);
    size_t len = 0;
    for (; text[pos] && text[pos] != '='; ++pos) {
      if (pos >= kTextWindow || len + 1 >= sizeof p.name) return -1;
      p.name[len++] = text[pos];
    }
    if (text[pos] == '=') ++pos;
    len = 0;
    for (; text[pos] && text[pos] != '&'; ++pos) {
      if (pos >= kTextWindow || len + 1 >= sizeof p.value) return -1;
      p.value[len++] = text[pos];
    }
    if (text[pos] == '&') ++pos;
  }
  return n;
}

// ---- Identity chip ----
bool alnum_text(std::string_view s) {
  for (char c : s)
    if (!std::isalnum(static_cast<unsigned char>(c))) return false;
  return true;
}

// Reads the chip text through the chip tool: 0 and the 32 characters, or
// 255 when the tool gave no chip text of that length.
int get_chip_info(char (&chip)[kChipLen + 1]) {
  const std::string file = nvr_path(kChipFile);
  // The tool's output goes to a fresh file, never through a link left there.
  unlink(file.c_str());
  web_system("zrchip_update -r 32 > " + shell_quote(file));
  int rc = 255;
  // The system's own file: opened without following a link, read only
  // when it is a regular file.
  const int fd = open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  struct stat st {};
  const bool regular = fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  if (FILE* f = regular ? fdopen(fd, "r") : nullptr) {
    char line[128];
    while (std::fgets(line, sizeof line, f)) {
      const char* mark = std::strstr(line, kChipReadMark);
      if (!mark) continue;
      std::string_view text(mark + std::strlen(kChipReadMark));
      while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
      if (text.size() == kChipLen) {
        copy_field(chip, text);
        rc = 0;
      } else {
        CGI_LOG("chip text of %zu characters refused", text.size());
      }
      break;
    }
    std::fclose(f);
  } else if (fd >= 0) {
    close(fd);
  }
  unlink(file.c_str());
  return rc;
}

// A field of the chip text: its letter, where it starts and its length.
struct ChipField {
  char letter;
  size_t at, len;
};

// Writes the chip text back; only letters and digits reach the tool, and
// what the tool prints never reaches the reply.
bool write_chip(const char* chip) {
  if (std::strlen(chip) != kChipLen || !alnum_text(chip)) return false;
  return web_system("zrchip_update " + shell_quote(chip) + " > /dev/null") == 0;
}

// ---- Commands ----
void opt_setlang(const HttpOptionPair& pair) {
  int lang = 0;
  if (!parse_int_strict(pair.value, &lang) || lang < 0) {
    factory_reply("PARAM ERROR");
    return;
  }
  notify_core_int(REQ_SET_LANGUAGE, lang);
  factory_reply("OK");
}

void opt_setdefault(const HttpOptionPair&) {}

// A text parameter, added when missing.
void set_text_param(const char* key, const char* value) {
  if (!value[0]) {
    factory_reply("PARAM ERROR");
    return;
  }
  const int rc = check_param_key(ZRDB_PATH, key) ? add_param_value(ZRDB_PATH, key, value)
                                                 : set_param_value(ZRDB_PATH, key, value);
  factory_reply(rc == 0 ? "OK" : "ERROR");
}

void opt_decode(const HttpOptionPair& pair) { set_text_param("decode", pair.value); }
void opt_hotplug(const HttpOptionPair& pair) { set_text_param("hdmihotplug", pair.value); }

// A regular file reached without a link.
bool regular_file(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Copies from into a fresh file named to (removed first): true when whole.
bool copy_file(const std::string& from, const std::string& to) {
  const int in = open(from.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  unlink(to.c_str());
  const int out = in >= 0 ? open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644) : -1;
  bool ok = out >= 0;
  char buf[16384];
  while (ok) {
    const ssize_t n = read(in, buf, sizeof buf);
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    ok = write(out, buf, static_cast<size_t>(n)) == n;
  }
  if (in >= 0) close(in);
  if (out >= 0 && close(out) != 0) ok = false;
  if (!ok) unlink(to.c_str());
  return ok;
}

// Removes the files directly in dir (not its folders nor hidden entries),
// as "rm dir/*" does. 0, or -1 when one stayed.
int remove_files_in(const std::string& dir) {
  DIR* d = opendir(dir.c_str());
  if (!d) return -1;
  int rc = 0;
  while (dirent* e = readdir(d)) {
    if (e->d_name[0] == '.') continue;
    const std::string path = dir + "/" + e->d_name;
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) continue;
    if (unlink(path.c_str()) != 0) rc = -1;
  }
  closedir(d);
  return rc;
}

// Puts the maker's logo, GUI and web pages back, removes the OEM files and
// marks the configuration for erasure at the next start. Everything that
// can fail is done before anything is removed: the backups are copied
// beside their places and the maker's web pages are installed whole (or
// not at all) from their archive; only then are the copies moved into
// place and the OEM files removed. A failure there leaves every OEM file.
void opt_oemclean(const HttpOptionPair&) {
  const std::string oem = nvr_path(kOemDir), bin = nvr_path(kAppBinDir), web = nvr_path(kWebDir);
  const std::string logo = bin + "/logo.jpg", gui = bin + "/gui.rcc";
  const std::string logo_new = bin + "/.logo.jpg.new", gui_new = bin + "/.gui.rcc.new";
  bool ok = regular_file(oem + "/logo.jpg_bk") && regular_file(oem + "/gui.rcc_bk") &&
            copy_file(oem + "/logo.jpg_bk", logo_new) && copy_file(oem + "/gui.rcc_bk", gui_new);
  if (!ok) CGI_LOG("oemclean: backups not copied, OEM files kept");
  if (ok && archive_install_file(web + "/" + kWebArchive, ArchiveFormat::TarGz, web, kWebLimits) != 0) {
    CGI_LOG("oemclean: web pages not restored, OEM files kept");
    ok = false;
  }
  if (ok && (rename(logo_new.c_str(), logo.c_str()) != 0 || rename(gui_new.c_str(), gui.c_str()) != 0)) {
    CGI_LOG("oemclean: backups not put in place, OEM files kept");
    ok = false;
  }
  if (!ok) {
    unlink(logo_new.c_str());
    unlink(gui_new.c_str());
    factory_reply("ERROR");
    return;
  }
  ok = remove_files_in(oem) == 0;
  if (!ok) CGI_LOG("oemclean: OEM files not all removed");
  const std::string app = shell_quote(nvr_path(kAppDir));
  ok = web_system("touch " + app + "/eraseip") == 0 && ok;
  ok = web_system("touch " + app + "/eraseuser") == 0 && ok;
  ok = set_param_int(ZRDB_PATH, "oem_type", 0) == 0 && ok;
  ok = web_system("touch " + app + "/eraseall") == 0 && ok;
  web_system("sync");
  factory_reply(ok ? "OK" : "ERROR");
}

void opt_paratest(const HttpOptionPair& pair) {
  if (std::strcmp(pair.value, "chipinfo") != 0) {
    factory_reply("Param ERROR");
    return;
  }
  char chip[kChipLen + 1];
  if (get_chip_info(chip) != 0) {
    factory_reply("ERROR");
    return;
  }
  factory_reply(string_printf("OK chipinfo=%s\n", chip));
}

// One field of the chip: 'N' model, 'H' hardware, 'E' and 'S' the two
// serial parts; or a whole chip text starting "ZRN". The value must hold
// the whole field; 21 to 31 characters are padded with '0' to 32.
void opt_chipupdate(const HttpOptionPair& pair) {
  char chip[kChipLen + 1];
  if (get_chip_info(chip) != 0) {
    factory_reply("NG chipupdate");
    return;
  }
  std::string v(pair.value);
  if (v.size() >= 21 && v.size() < kChipLen) v.append(kChipLen - v.size(), '0');
  static const ChipField kFields[] = {{'N', 3, 6}, {'H', 9, 2}, {'E', 12, 7}, {'S', 20, 11}};
  bool ok = !v.empty() && v.size() <= kChipLen && alnum_text(v);
  if (ok) {
    const ChipField* field = nullptr;
    for (const ChipField& f : kFields)
      if (v[0] == f.letter) field = &f;
    if (field) {
      ok = v.size() >= 1 + field->len;
      if (ok) std::memcpy(chip + field->at, v.data() + 1, field->len);
    } else {
      ok = v.compare(0, 3, "ZRN") == 0 && v.size() == kChipLen;
      if (ok) copy_field(chip, v);
    }
  }
  factory_reply(ok && write_chip(chip) ? "OK chipupdate" : "NG chipupdate");
}

// One field of the chip, letter included: 'E' 8, 'H' 3, 'N' 7 or 'S' 12
// characters, a shorter value padded with '0'.
void opt_modelupdate(const HttpOptionPair& pair) {
  char chip[kChipLen + 1];
  if (get_chip_info(chip) != 0) {
    factory_reply("NG modelupdate");
    return;
  }
  static const ChipField kFields[] = {{'E', 12, 8}, {'H', 9, 3}, {'N', 2, 7}, {'S', 20, 12}};
  std::string v(pair.value);
  const ChipField* field = nullptr;
  for (const ChipField& f : kFields)
    if (!v.empty() && v[0] == f.letter) field = &f;
  bool ok = field && v.size() <= field->len && alnum_text(v);
  if (ok) {
    v.append(field->len - v.size(), '0');
    std::memcpy(chip + field->at, v.data(), field->len);
  }
  factory_reply(ok && write_chip(chip) ? "OK modelupdate" : "NG modelupdate");
}

void opt_softversion(const HttpOptionPair&) {
  char version[64];
  get_param_value(ZRDB_PATH, "software_version", version, sizeof version, kDefaultSoftVersion);
  factory_reply(version);
}

// Runs the commands of one request; the replies are collected.
void run_commands(const char* text) {
  CmdHash hash;
  hash_table_init(&hash);
  for (const HttpOption& row : HttpOptionTable)
    if (hash_insert_entry(&hash, &row) != 0) {
      factory_reply("ERROR");
      return;
    }
  static HttpOptionPair pairs[kMaxPairs];
  int n = 0;
  if (is_httpoption_no_arg(text)) {
    std::memset(&pairs[0], 0, sizeof pairs[0]);
    copy_field(pairs[0].name, text);
    copy_field(pairs[0].value, "1");
    n = 1;
  } else {
    const int count = get_httpoption_argnum(text);
    n = count > 0 ? ui_decodeing(text, count, pairs) : -1;
    if (n <= 0) {
      factory_reply("PARAM ERROR");
      hash_table_destory(&hash);
      return;
    }
  }
  for (int i = 0; i < n; ++i) {
    const HttpOption* row = http_option_search(&hash, pairs[i].name);
    if (!row) {
      factory_reply("ERROR");
      break;
    }
    row->run(pairs[i]);
  }
  hash_table_destory(&hash);
}

}  // namespace

// "/vb.htm"
void on_factory_command(char* text) {
  g_replies.clear();
  g_replied = false;
  if (!text) {
    factory_reply("ERROR");
  } else {
    run_commands(text);
  }
  if (g_replied) reply_text(g_replies.c_str());
}

}  // namespace sysadmin
