// zrcore-sim: network settings. Answers the address conflict tests (3005,
// 3006: the demo network's gateway 192.168.1.1 and a camera at
// 192.168.1.50 are in use), the default route (1724), and keeps the channel
// access switch (3618) in the store where the pages read it.
//
// Certificates are made and checked with the real openssl, as the core
// does: 3316 creates a self-signed certificate in /mnt/nand/ssl or a
// signing request in /mnt/nand/ssl/tmp (with their private keys) and keeps
// their parameters; 3318 answers 1 only when openssl accepts the installed
// certificate (its key moves into place when it is the pending request's);
// 3317 drops the pending request.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "core/cgi_util.h"
#include "core/paths.h"
#include "core/ssl_params.h"
#include "core/strutil.h"
#include "platform/zrdb.h"
#include "tools/zrcore_sim.h"

namespace {

bool address_in_use(const char* ip, size_t size) {
  const std::string addr(ip, strnlen(ip, size));
  return addr == "192.168.1.1" || addr == "192.168.1.50";
}

void ip_conflict(int req, const Bytes& p, std::vector<SimReply>* r) {
  struct {
    char ip[20];
  } q = sim_read<decltype(q)>(p);
  sim_reply_status(r, req, address_in_use(q.ip, sizeof q.ip) ? 1 : 0);
}

void ip_conflict_dev(int req, const Bytes& p, std::vector<SimReply>* r) {
  struct {
    char dev[16];
    char ip[16];
  } q = sim_read<decltype(q)>(p);
  const std::string dev(q.dev, strnlen(q.dev, sizeof q.dev));
  const bool known = dev == "eth0" || dev == "eth1" || dev == "bond0";
  sim_reply_status(r, req, known && address_in_use(q.ip, sizeof q.ip) ? 1 : 0);
}

void channel_access(int, const Bytes& p, std::vector<SimReply>*) {
  set_param_int(ZRDB_PATH, "ch_access", sim_read<int32_t>(p));
}

void default_route(int req, const Bytes&, std::vector<SimReply>* r) { sim_reply_status(r, req, 0); }

// ---- Certificates -------------------------------------------------------------------

template <size_t N>
std::string field(const char (&f)[N]) {
  return std::string(f, strnlen(f, N));
}

// One "/KEY=value" of an openssl subject, with its separators escaped.
void add_rdn(std::string* subj, const char* key, const std::string& value) {
  if (value.empty() || value == " ") return;
  *subj += '/';
  *subj += key;
  *subj += '=';
  for (char c : value) {
    if (c == '/' || c == '\\' || c == '+' || c == '=') *subj += '\\';
    if (static_cast<unsigned char>(c) >= 0x20) *subj += c;
  }
}

std::string subject_of(const SslParams& p) {
  std::string s;
  add_rdn(&s, "C", field(p.country));
  add_rdn(&s, "ST", field(p.province));
  add_rdn(&s, "L", field(p.region));
  add_rdn(&s, "O", field(p.organization));
  add_rdn(&s, "OU", field(p.company));
  add_rdn(&s, "CN", field(p.commonName));
  add_rdn(&s, "emailAddress", field(p.email));
  return s.empty() ? "/CN=nvr" : s;
}

// Output of a command, through a file (empty when it failed).
std::string command_output(const std::string& command) {
  const std::string out = nvr_path("/tmp/.zrcore-sim-openssl.out");
  const int rc = web_system(command + " > " + shell_quote(out) + " 2>/dev/null");
  std::ifstream in(out);
  std::stringstream text;
  text << in.rdbuf();
  unlink(out.c_str());
  return rc == 0 ? text.str() : "";
}

// "notBefore=... GMT\nnotAfter=... GMT" as "<start> - <end>".
std::string dates_of(const std::string& cert) {
  std::istringstream lines(command_output("openssl x509 -noout -startdate -enddate -in " + shell_quote(cert)));
  std::string line, start, end;
  while (std::getline(lines, line)) {
    if (line.rfind("notBefore=", 0) == 0) start = line.substr(10);
    if (line.rfind("notAfter=", 0) == 0) end = line.substr(9);
  }
  return start.empty() ? "" : start + " - " + end;
}

// The value of one key of an RFC 2253 subject ("CN=a,O=b,C=US").
std::string rdn_value(const std::string& subject, const std::string& key) {
  size_t pos = 0;
  while (pos < subject.size()) {
    size_t end = pos;
    while (end < subject.size() && subject[end] != ',') end += subject[end] == '\\' ? 2 : 1;
    const std::string part = subject.substr(pos, end - pos);
    if (part.rfind(key + "=", 0) == 0) return part.substr(key.size() + 1);
    pos = end + 1;
  }
  return "";
}

const char kNewKey[] = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";

void create_cert(int req, const Bytes& p, std::vector<SimReply>* r) {
  for (const char* dir : {"/mnt/nand", SSL_DIR, "/mnt/nand/ssl/tmp"}) mkdir(nvr_path(dir).c_str(), 0755);
  SslParams rec = sim_read<SslParams>(p);
  std::memset(rec.password, 0, sizeof rec.password);  // never kept
  const std::string subj = shell_quote(subject_of(rec));
  int rc;
  if (rec.installType == 0) {
    const std::string cert = nvr_path(SSL_CERT_FILE);
    const int days = rec.validity > 0 && rec.validity <= 36500 ? rec.validity : 365;
    rc = web_system("openssl req -x509" + std::string(kNewKey) + " -keyout " + shell_quote(nvr_path(SSL_KEY_FILE)) +
                    " -out " + shell_quote(cert) + " -days " + std::to_string(days) + " -subj " + subj +
                    " 2>/dev/null");
    if (rc == 0) {
      copy_text(rec.dates, sizeof rec.dates, dates_of(cert));
      rc = write_ssl_params(ZRDB_PATH, &rec, SSL_PARAMS_INSTALLED);
    }
  } else {
    rc = web_system("openssl req -new" + std::string(kNewKey) + " -keyout " +
                    shell_quote(nvr_path(SSL_PENDING_KEY_FILE)) + " -out " + shell_quote(nvr_path(SSL_PENDING_CSR_FILE)) +
                    " -subj " + subj + " 2>/dev/null");
    if (rc == 0) rc = write_ssl_params(ZRDB_PATH, &rec, SSL_PARAMS_REQUEST);
  }
  sim_reply_status(r, req, rc == 0 ? 0 : -1);
}

void install_cert(int req, const Bytes&, std::vector<SimReply>* r) {
  const std::string cert = nvr_path(SSL_CERT_FILE);
  const std::string q = shell_quote(cert);
  const std::string subject = command_output("openssl x509 -noout -subject -nameopt RFC2253 -in " + q);
  if (subject.rfind("subject=", 0) != 0) {
    sim_reply_status(r, req, 0);
    return;
  }
  // The signed answer to the pending request takes that request's key.
  const std::string pending_key = nvr_path(SSL_PENDING_KEY_FILE);
  if (access(pending_key.c_str(), R_OK) == 0 &&
      web_system("test \"$(openssl x509 -noout -pubkey -in " + q + ")\" = \"$(openssl pkey -pubout -in " +
                 shell_quote(pending_key) + ")\"") == 0)
    std::rename(pending_key.c_str(), nvr_path(SSL_KEY_FILE).c_str());

  std::string text = subject.substr(8);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  SslParams rec;
  std::memset(&rec, 0, sizeof rec);
  copy_field(rec.country, rdn_value(text, "C"));
  copy_field(rec.commonName, rdn_value(text, "CN"));
  copy_field(rec.email, rdn_value(text, "emailAddress"));
  copy_field(rec.organization, rdn_value(text, "O"));
  copy_text(rec.dates, sizeof rec.dates, dates_of(cert));
  write_ssl_params(ZRDB_PATH, &rec, SSL_PARAMS_INSTALLED);
  sim_reply_status(r, req, 1);
}

void delete_request(int, const Bytes&, std::vector<SimReply>*) {
  unlink(nvr_path(SSL_PENDING_CSR_FILE).c_str());
  unlink(nvr_path(SSL_PENDING_KEY_FILE).c_str());
  SslParams blank;
  std::memset(&blank, 0, sizeof blank);
  write_ssl_params(ZRDB_PATH, &blank, SSL_PARAMS_REQUEST);
}

void cert_deleted(int, const Bytes&, std::vector<SimReply>*) { unlink(nvr_path(SSL_KEY_FILE).c_str()); }

const SimRow kRows[] = {
    {3005, ip_conflict},
    {3006, ip_conflict_dev},
    {3618, channel_access},
    {1724, default_route},
    {3316, create_cert},
    {3317, delete_request},
    {3318, install_cert},
    {3320, cert_deleted},
};
const SimModule kModule(kRows, sizeof kRows / sizeof kRows[0]);

}  // namespace
