// HTTPS certificates: "/7080" create a certificate or a signing request,
// "/7081" installed certificate, "/7082" download the signing request,
// "/7083" delete it, "/7084" install an uploaded certificate, "/7085"
// delete the certificate, "/7086" switch HTTPS, "/7087" HTTPS switch,
// "/7089" pending signing request.
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "core/cgi_ipc.h"
#include "core/cgi_json.h"
#include "core/cgi_log.h"
#include "core/cgi_reply.h"
#include "core/cgi_util.h"
#include "core/download.h"
#include "core/paths.h"
#include "core/ssl_params.h"
#include "core/strutil.h"
#include "core/tmp_file.h"
#include "core/web_utils.h"
#include "handlers/network/network.h"
#include "platform/zrdb.h"

namespace {
constexpr int kInstallFailed = 2;  // g_callback_done when the core refused the file

bool regular_file(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

int https_enable() { return get_param_int(ZRDB_PATH, "httpsenable", 0); }

// Whole-file copy without a shell: the target is written beside itself and
// renamed over, so it is never left half written.
bool copy_file(const std::string& from, const std::string& to) {
  size_t len = 0;
  std::unique_ptr<char, decltype(&std::free)> data(zr_get_file_data(from.c_str(), &len), std::free);
  const std::string part = to + ".part";
  if (!data || zr_wirte_file_data(part.c_str(), data.get(), len) != 0) {
    unlink(part.c_str());
    return false;
  }
  if (std::rename(part.c_str(), to.c_str()) != 0) {
    CGI_LOG("rename %s: %s", to.c_str(), std::strerror(errno));
    unlink(part.c_str());
    return false;
  }
  return true;
}

// Moves a file; /tmp and the flash are separate file systems on the
// recorder, where the rename gives way to a copy and an unlink.
bool move_file(const std::string& from, const std::string& to) {
  if (std::rename(from.c_str(), to.c_str()) == 0) return true;
  if (errno != EXDEV) {
    CGI_LOG("rename %s: %s", from.c_str(), std::strerror(errno));
    return false;
  }
  if (!copy_file(from, to)) return false;
  unlink(from.c_str());
  return true;
}

// True when openssl reads the file as an X.509 certificate (PEM or DER).
// Nothing else (a configuration archive, a key, a signing request) is
// ever installed or handed on.
bool is_certificate(const std::string& path) {
  const std::string q = shell_quote(path);
  return web_system("openssl x509 -noout -in " + q + " 2>/dev/null") == 0 ||
         web_system("openssl x509 -noout -inform DER -in " + q + " 2>/dev/null") == 0;
}

void run_logged(const std::string& command) {
  if (web_system(command) != 0) CGI_LOG("command failed: %s", command.c_str());
}

// True when the file holds a private key: by its name or by its text.
bool holds_key(const char* path, int fd) {
  const char* base = std::strrchr(path, '/');
  if (std::strstr(base ? base + 1 : path, "key")) return true;
  char buf[4096];
  std::string head;
  ssize_t n;
  while (head.size() < 64 * 1024 && (n = read(fd, buf, sizeof buf)) > 0) head.append(buf, static_cast<size_t>(n));
  return head.find("PRIVATE KEY") != std::string::npos;
}

// One entry of the SSL folder: folders 0755, certificates and the CA's
// bookkeeping 0644, private keys 0600 (the web server reads its key before
// it gives up its rights). Links and other kinds are left alone; the mode
// goes to what was opened, never to what a link points at.
int set_ssl_mode(const char* path, const struct stat*, int type, struct FTW*) {
  if (type != FTW_F && type != FTW_D && type != FTW_DP) return 0;
  const int fd = open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return 0;
  struct stat st {};
  if (fstat(fd, &st) == 0) {
    mode_t mode = 0;
    if (S_ISDIR(st.st_mode))
      mode = 0755;
    else if (S_ISREG(st.st_mode))
      mode = holds_key(path, fd) ? 0600 : 0644;
    if (mode && fchmod(fd, mode) != 0) CGI_LOG("chmod %s: %s", path, std::strerror(errno));
  }
  close(fd);
  return 0;
}

void set_ssl_modes() {
  const std::string ssl = nvr_path(SSL_DIR);
  if (nftw(ssl.c_str(), set_ssl_mode, 16, FTW_PHYS) != 0) CGI_LOG("modes of %s not set", ssl.c_str());
}

// The certificate authority's working folder the core signs in.
void prepare_ca_dir() {
  const std::string ssl = nvr_path(SSL_DIR);
  run_logged("rm -rf " + shell_quote(ssl + "/demoCA"));
  run_logged("mkdir " + shell_quote(ssl + "/demoCA"));
  run_logged("mkdir -p " + shell_quote(ssl + "/demoCA/newcerts"));
  run_logged("touch " + shell_quote(ssl + "/demoCA/index.txt"));
  run_logged("touch " + shell_quote(ssl + "/demoCA/serial"));
  run_logged("echo 01 > " + shell_quote(ssl + "/demoCA/serial"));
  set_ssl_modes();
}

int32_t first_word(const void* payload) {
  int32_t v;
  std::memcpy(&v, payload, sizeof v);
  return v;
}
}  // namespace

// ---- Reply writers ---------------------------------------------------------------------

// Reply 8316: a negative status is the core's failure to create; an empty
// or short reply holds no status and answers the page's error at once.
void on_resp_create_cert(int count, const void* payload) {
  if (count < 1 || !payload)
    cgi_error_to_webserver(CGI_KIND_TEXT);
  else
    cgi_writeback_webserver(CGI_KIND_TEXT, first_word(payload) < 0 ? "Error" : "OK");
  g_callback_done = 1;
}

// Reply 8318: 1 when the core accepts the installed certificate.
void on_resp_install_cert(int count, const void* payload) {
  const bool ok = count >= 1 && payload && first_word(payload) == 1;
  cgi_writeback_webserver(CGI_KIND_TEXT, ok ? "OK" : "Error");
  g_callback_done = ok ? 1 : kInstallFailed;
}

// ---- Handlers --------------------------------------------------------------------------

void on_create_https_cert(char* text) {
  JsonPtr req(parse_request(text));
  if (!req) return;
  json_object* r = req.get();
  SslParams rec;
  std::memset(&rec, 0, sizeof rec);
  int32_t validity = 0;
  if (!json_plain_int(r, "InstallType", &rec.installType) || !json_plain_int(r, "Validity", &validity) ||
      !json_texts_readable(r, {"startTime", "endTime", "Country", "CommonName", "Password", "Province", "Region",
                               "Organization", "Company", "Email"}))
    return;
  if (rec.installType == 0) {
    rec.validity = validity;
    json_get_text(r, "startTime", rec.startTime);
    json_get_text(r, "endTime", rec.endTime);
  }
  json_get_text(r, "Country", rec.country);
  json_get_text(r, "CommonName", rec.commonName);
  json_get_text(r, "Password", rec.password);
  json_get_text(r, "Province", rec.province);
  json_get_text(r, "Region", rec.region);
  json_get_text(r, "Organization", rec.organization);
  json_get_text(r, "Company", rec.company);
  json_get_text(r, "Email", rec.email);
  prepare_ca_dir();
  cgi_ipc_exchange(on_network_ipc_callback, REQ_CERT_CREATE, &rec, sizeof rec, CGI_KIND_TEXT);
}

void on_get_cert_info(char*) {
  JsonPtr out(json_object_new_object());
  if (!regular_file(nvr_path(SSL_CERT_FILE))) {
    if (https_enable() != 0 && set_param_int(ZRDB_PATH, "httpsenable", 0) != 0) CGI_LOG("httpsenable not cleared");
    json_add_int(out.get(), "enable", https_enable());
    json_add_text(out.get(), "checkfile", "NOFILE");
    cgi_write_json(out.get());
    return;
  }
  SslParams rec;
  read_ssl_params(ZRDB_PATH, &rec, SSL_PARAMS_INSTALLED);
  json_add_int(out.get(), "enable", https_enable());
  json_add_text(out.get(), "checkfile", "OK");
  json_add_field(out.get(), "country", rec.country);
  json_add_field(out.get(), "common_name", rec.commonName);
  json_add_field(out.get(), "email", rec.email);
  json_add_field(out.get(), "dates", rec.dates);
  cgi_write_json(out.get());
}

void on_get_cert_req_info(char*) {
  JsonPtr out(json_object_new_object());
  if (!regular_file(nvr_path(SSL_PENDING_CSR_FILE))) {
    json_add_text(out.get(), "checkfile", "NOFILE");
    cgi_write_json(out.get());
    return;
  }
  SslParams rec;
  read_ssl_params(ZRDB_PATH, &rec, SSL_PARAMS_REQUEST);
  json_add_text(out.get(), "checkfile", "OK");
  json_add_field(out.get(), "country_req", rec.country);
  json_add_field(out.get(), "common_name_req", rec.commonName);
  json_add_field(out.get(), "email_req", rec.email);
  cgi_write_json(out.get());
}

void on_download_cert_req(char*) {
  const int fd = open(nvr_path(SSL_PENDING_CSR_FILE).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  struct stat st {};
  if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    if (fd >= 0) close(fd);
    cgi_writeback_webserver(CGI_KIND_TEXT, "NotFile");
    return;
  }
  if (download_send_fd(fd, "ssl_cert.csr") != 0) CGI_LOG("signing request download broke off");
  close(fd);
}

void on_delete_cert_req(char*) {
  notify_core(REQ_CERT_DELETE_REQUEST, nullptr, 0);
  cgi_reply_ok();
}

void on_install_cert(char* text) {
  if (!text || !*text) return;
  // Only the file this request uploaded, and only a certificate: the
  // front end removes the upload whatever happens here.
  std::string upload;
  if (upload_take(&upload) != 0 || !is_certificate(upload)) {
    CGI_LOG("certificate upload refused: %s", upload_path().c_str());
    cgi_writeback_webserver(CGI_KIND_TEXT, "Error");
    return;
  }

  // Keep the previous certificate, so a refused one can be undone.
  const std::string cert = nvr_path(SSL_CERT_FILE);
  const std::string saved = nvr_path(SSL_CERT_SAVE_FILE);
  const bool had_previous = regular_file(cert);
  if ((had_previous && !copy_file(cert, saved)) || !move_file(upload, cert)) {
    cgi_writeback_webserver(CGI_KIND_TEXT, "Error");
    return;
  }
  const int done = cgi_ipc_exchange(on_network_ipc_callback, REQ_CERT_INSTALL, nullptr, 0, CGI_KIND_TEXT);
  if (done == 1) return;
  // Refused by the core, or no answer: the previous certificate comes back.
  if (had_previous ? !copy_file(saved, cert) : unlink(cert.c_str()) != 0)
    CGI_LOG("previous certificate not restored: %s", std::strerror(errno));
}

void on_delete_cert(char*) {
  SslParams blank;
  std::memset(&blank, 0, sizeof blank);
  blank.installType = 0;
  copy_field(blank.country, " ");
  copy_field(blank.commonName, " ");
  copy_field(blank.email, " ");
  copy_field(blank.dates, " ");
  ZrdbTransaction txn(ZRDB_PATH);
  if (!txn.ok() || set_param_int(ZRDB_PATH, "httpsenable", 0) != 0 ||
      write_ssl_params(ZRDB_PATH, &blank, SSL_PARAMS_INSTALLED) != 0 || txn.commit() != 0) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  for (const char* file : {SSL_CERT_FILE, SSL_CSR_FILE}) {
    const std::string path = nvr_path(file);
    if (unlink(path.c_str()) != 0 && errno != ENOENT) CGI_LOG("cannot remove %s: %s", path.c_str(), std::strerror(errno));
  }
  notify_core(REQ_CERT_DELETED, nullptr, 0);
  notify_core_int(REQ_HTTPS_SWITCH, 0);
  cgi_reply_ok();
}

void on_set_https_enable(char* text) {
  JsonPtr req(parse_request(text));
  int32_t enable = 0;
  // The page names the switch "httpsenable", the getter "enable": its
  // answer posted back is taken too.
  const char* key = json_has(req.get(), "httpsenable") ? "httpsenable" : "enable";
  if (!req || !json_strict_int_in(req.get(), key, 0, 1, &enable)) return;
  if (enable && !regular_file(nvr_path(SSL_CERT_FILE))) {
    cgi_writeback_webserver(CGI_KIND_TEXT, "NOFILE");
    return;
  }
  if (set_param_int(ZRDB_PATH, "httpsenable", enable) != 0) {
    cgi_error_to_webserver(CGI_KIND_TEXT);
    return;
  }
  notify_core_int(REQ_HTTPS_SWITCH, enable);
  cgi_reply_ok();
}

void on_get_https_enable(char*) {
  JsonPtr out(json_object_new_object());
  json_add_int(out.get(), "enable", https_enable());
  cgi_write_json(out.get());
}
