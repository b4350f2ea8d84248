#include "core/archive.h"

#include <archive.h>
#include <archive_entry.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/cgi_log.h"

namespace {

constexpr char kStagingPrefix[] = ".staging-";

struct ReadCloser {
  archive* a;
  ~ReadCloser() { archive_read_free(a); }
};
struct WriteCloser {
  archive* a;
  ~WriteCloser() { archive_write_free(a); }
};

// Returns to the folder the process was in when it was made.
class CwdGuard {
 public:
  CwdGuard() : cwd_(getcwd(nullptr, 0)) {}
  ~CwdGuard() {
    if (cwd_ && chdir(cwd_) != 0) CGI_LOG("archive: cannot return to the working folder");
    std::free(cwd_);
  }
  CwdGuard(const CwdGuard&) = delete;
  CwdGuard& operator=(const CwdGuard&) = delete;
  bool ok() const { return cwd_ != nullptr; }

 private:
  char* cwd_;
};

// The entry name relative to the unpack folder: leading "./" and "."
// parts dropped; empty when the name is absolute, holds "..", a backslash
// or a control character, or is too long. "." alone gives ".".
std::string relative_name(const char* raw) {
  if (!raw || !raw[0] || raw[0] == '/') return {};
  const std::string_view name(raw);
  if (name.size() >= PATH_MAX) return {};
  std::string out;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find('/', start);
    if (end == std::string_view::npos) end = name.size();
    const std::string_view part = name.substr(start, end - start);
    start = end + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") return {};
    for (char c : part) {
      const unsigned char u = static_cast<unsigned char>(c);
      if (c == '\\' || u < 0x20 || u == 0x7f) return {};
    }
    if (!out.empty()) out += '/';
    out.append(part.data(), part.size());
  }
  return out.empty() ? "." : out;
}

// Unpacks everything the reader gives into the current folder.
int unpack_entries(archive* in, const ArchiveLimits& limits) {
  WriteCloser out{archive_write_disk_new()};
  if (!out.a) return -1;
  // No owner, permission, time, ACL, attribute or flag from the archive.
  archive_write_disk_set_options(out.a, ARCHIVE_EXTRACT_SECURE_SYMLINKS | ARCHIVE_EXTRACT_SECURE_NODOTDOT |
                                            ARCHIVE_EXTRACT_SECURE_NOABSOLUTEPATHS);
  uint32_t entries = 0, files = 0;
  uint64_t bytes = 0;
  for (;;) {
    archive_entry* entry = nullptr;
    const int r = archive_read_next_header(in, &entry);
    if (r == ARCHIVE_EOF) break;
    if (r != ARCHIVE_OK) {
      CGI_LOG("archive: %s", archive_error_string(in) ? archive_error_string(in) : "bad header");
      return -1;
    }
    if (++entries > limits.max_entries) return -1;
    const mode_t type = archive_entry_filetype(entry);
    if (archive_entry_hardlink(entry) || archive_entry_symlink(entry) || (type != AE_IFREG && type != AE_IFDIR)) {
      CGI_LOG("archive: entry of type %o refused", static_cast<unsigned>(type));
      return -1;
    }
    const std::string name = relative_name(archive_entry_pathname(entry));
    if (name.empty() || (name == "." && type != AE_IFDIR)) {
      CGI_LOG("archive: entry name refused");
      return -1;
    }
    if (name == ".") continue;  // the unpack folder itself
    archive_entry_set_pathname(entry, name.c_str());
    archive_entry_set_perm(entry, type == AE_IFDIR ? 0755 : 0644);
    if (type == AE_IFREG && archive_entry_size_is_set(entry)) {
      const int64_t size = archive_entry_size(entry);
      if (size < 0 || static_cast<uint64_t>(size) > limits.max_bytes - bytes) return -1;
    }
    if (archive_write_header(out.a, entry) != ARCHIVE_OK) {
      CGI_LOG("archive: %s", archive_error_string(out.a) ? archive_error_string(out.a) : "cannot write");
      return -1;
    }
    if (type == AE_IFREG) {
      ++files;
      for (;;) {
        const void* block = nullptr;
        size_t len = 0;
        la_int64_t offset = 0;
        const int d = archive_read_data_block(in, &block, &len, &offset);
        if (d == ARCHIVE_EOF) break;
        // A damaged entry (a bad checksum among them) is a warning to
        // libarchive and a refusal here.
        if (d != ARCHIVE_OK) {
          CGI_LOG("archive: %s", archive_error_string(in) ? archive_error_string(in) : "bad data");
          return -1;
        }
        if (len > limits.max_bytes - bytes) return -1;
        bytes += len;
        if (archive_write_data_block(out.a, block, len, offset) != ARCHIVE_OK) return -1;
      }
    }
    if (archive_write_finish_entry(out.a) != ARCHIVE_OK) return -1;
  }
  // An archive without a single file is no package.
  return archive_write_close(out.a) == ARCHIVE_OK && files > 0 ? 0 : -1;
}

archive* new_reader(ArchiveFormat format) {
  archive* in = archive_read_new();
  if (!in) return nullptr;
  if (format == ArchiveFormat::Zip) {
    archive_read_support_format_zip(in);
  } else {
    archive_read_support_filter_gzip(in);
    archive_read_support_format_tar(in);
  }
  return in;
}

// Unpacks an opened reader into dest.
int unpack_into(archive* in, const std::string& dest, const ArchiveLimits& limits) {
  // libarchive refuses absolute names, so the entries are written relative
  // to the unpack folder as the working folder.
  CwdGuard back;
  if (!back.ok() || chdir(dest.c_str()) != 0) return -1;
  return unpack_entries(in, limits);
}

// One step of an install, undone in reverse order when a later one fails.
struct InstallStep {
  std::string placed;  // the path in the target
  std::string moved;   // the replaced file set aside, or the staged path of a new entry
  bool replaced;
};

bool lstat_of(const std::string& path, struct stat* st, bool* exists) {
  if (lstat(path.c_str(), st) == 0) {
    *exists = true;
    return true;
  }
  *exists = false;
  return errno == ENOENT;
}

std::vector<std::string> names_in(const std::string& dir, bool* ok) {
  std::vector<std::string> names;
  DIR* d = opendir(dir.c_str());
  *ok = d != nullptr;
  if (!d) return names;
  while (dirent* e = readdir(d))
    if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names.push_back(e->d_name);
  closedir(d);
  return names;
}

// Checks that every staged entry can take its place in the target: nothing
// in the way is a link or of the other kind.
bool install_possible(const std::string& staged, const std::string& target) {
  bool ok = false;
  for (const std::string& name : names_in(staged, &ok)) {
    struct stat s {}, t {};
    bool exists = false;
    const std::string from = staged + "/" + name, to = target + "/" + name;
    if (lstat(from.c_str(), &s) != 0 || !lstat_of(to, &t, &exists)) return false;
    if (!S_ISDIR(s.st_mode) && !S_ISREG(s.st_mode)) return false;
    if (!exists) continue;
    if (S_ISDIR(s.st_mode) ? !S_ISDIR(t.st_mode) : !S_ISREG(t.st_mode)) {
      CGI_LOG("archive: %s is in the way", to.c_str());
      return false;
    }
    if (S_ISDIR(s.st_mode) && !install_possible(from, to)) return false;
  }
  return ok;
}

// Moves the staged entries into the target; replaced files go to aside.
bool install_moves(const std::string& staged, const std::string& target, const std::string& aside,
                   std::vector<InstallStep>* steps) {
  bool ok = false;
  for (const std::string& name : names_in(staged, &ok)) {
    struct stat s {}, t {};
    bool exists = false;
    const std::string from = staged + "/" + name, to = target + "/" + name;
    if (lstat(from.c_str(), &s) != 0 || !lstat_of(to, &t, &exists)) return false;
    if (exists && S_ISDIR(s.st_mode)) {
      if (!S_ISDIR(t.st_mode) || !install_moves(from, to, aside, steps)) return false;
      continue;
    }
    if (!exists) {
      // A new file or a whole new folder.
      if (rename(from.c_str(), to.c_str()) != 0) return false;
      steps->push_back({to, from, false});
      continue;
    }
    if (!S_ISREG(t.st_mode) || !S_ISREG(s.st_mode)) return false;
    const std::string old = aside + "/" + std::to_string(steps->size());
    if (rename(to.c_str(), old.c_str()) != 0) return false;
    if (rename(from.c_str(), to.c_str()) != 0) {
      if (rename(old.c_str(), to.c_str()) != 0) CGI_LOG("archive: %s lost", to.c_str());
      return false;
    }
    steps->push_back({to, old, true});
  }
  return ok;
}

// A replaced file is put back over the new one; a new entry goes back to
// the staging folder.
void undo(const std::vector<InstallStep>& steps) {
  for (auto it = steps.rbegin(); it != steps.rend(); ++it) {
    const bool back = it->replaced ? rename(it->moved.c_str(), it->placed.c_str()) == 0
                                   : rename(it->placed.c_str(), it->moved.c_str()) == 0;
    if (!back) CGI_LOG("archive: %s not put back", it->placed.c_str());
  }
}

// Unpacks through open_reader into a staging folder inside target and
// installs the result.
template <typename Open>
int install_with(Open open_reader, ArchiveFormat format, const std::string& target, const ArchiveLimits& limits) {
  struct stat st {};
  if (lstat(target.c_str(), &st) != 0 && (errno != ENOENT || mkdir(target.c_str(), 0755) != 0)) return -1;
  if (lstat(target.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return -1;
  std::string root = target + "/" + kStagingPrefix + "XXXXXX";
  if (!mkdtemp(&root[0])) return -1;
  const std::string staged = root + "/new", aside = root + "/old";
  const std::string root_name = root.substr(target.size() + 1);
  int rc = mkdir(staged.c_str(), 0755) == 0 && mkdir(aside.c_str(), 0700) == 0 ? 0 : -1;
  if (rc == 0) {
    ReadCloser in{new_reader(format)};
    rc = in.a && open_reader(in.a) == ARCHIVE_OK ? unpack_into(in.a, staged, limits) : -1;
    if (rc != 0 && in.a && archive_error_string(in.a)) CGI_LOG("archive: %s", archive_error_string(in.a));
  }
  bool clash = false;
  if (rc == 0) {
    bool listed = false;
    for (const std::string& name : names_in(staged, &listed)) clash = clash || name == root_name;
    rc = listed && !clash && install_possible(staged, target) ? 0 : -1;
  }
  if (rc == 0) {
    std::vector<InstallStep> steps;
    if (!install_moves(staged, target, aside, &steps)) {
      undo(steps);
      rc = -1;
    }
  }
  if (tree_remove(root) != 0) CGI_LOG("archive: staging folder %s left", root.c_str());
  return rc;
}

}  // namespace

int archive_unpack(const void* data, size_t size, ArchiveFormat format, const std::string& dest,
                   const ArchiveLimits& limits) {
  ReadCloser in{new_reader(format)};
  if (!in.a || archive_read_open_memory(in.a, data, size) != ARCHIVE_OK) return -1;
  return unpack_into(in.a, dest, limits);
}

int archive_install(const void* data, size_t size, ArchiveFormat format, const std::string& target,
                    const ArchiveLimits& limits) {
  return install_with([&](archive* a) { return archive_read_open_memory(a, data, size); }, format, target, limits);
}

int archive_install_file(const std::string& path, ArchiveFormat format, const std::string& target,
                         const ArchiveLimits& limits) {
  const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  struct stat st {};
  if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    if (fd >= 0) close(fd);
    return -1;
  }
  const int rc = install_with([&](archive* a) { return archive_read_open_fd(a, fd, 64 * 1024); }, format, target, limits);
  close(fd);
  return rc;
}

int tree_remove(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) return errno == ENOENT ? 0 : -1;
  if (!S_ISDIR(st.st_mode)) return unlink(path.c_str());
  bool ok = false;
  int rc = 0;
  for (const std::string& name : names_in(path, &ok))
    if (tree_remove(path + "/" + name) != 0) rc = -1;
  if (!ok) return -1;
  return rmdir(path.c_str()) == 0 ? rc : -1;
}
