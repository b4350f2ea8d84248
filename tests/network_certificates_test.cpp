// HTTPS certificates end to end, with real openssl behind zrcore-sim: a
// self-signed certificate, a signing request downloaded, signed and
// installed through an upload, the HTTPS switch, deletion, and installs
// that must change nothing or put the previous certificate back.
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "core/ssl_params.h"
#include "core/strutil.h"
#include "network_e2e.h"

namespace {

class NetworkCertificatesE2e : public NetworkE2e {
 protected:
  void SetUp() override {
    NetworkE2e::SetUp();
    env_.write_file("/mnt/nand/ssl/tmp/.made-at-login", "");
    env_.add_stub("zrprofile");
  }
  // A certificate made by openssl in the test root (abs path), or with the
  // CA files when ca is set.
  void make_cert(const std::string& abs, const std::string& cn) {
    env_.write_file(abs, "");
    ASSERT_EQ(web_system("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout " +
                         shell_quote(env_.path("/test-key.pem")) + " -out " + shell_quote(env_.path(abs)) +
                         " -days 2 -subj " + shell_quote("/CN=" + cn) + " 2>/dev/null"),
              0);
  }
  bool openssl_accepts(const std::string& abs) {
    return web_system("openssl x509 -noout -in " + shell_quote(env_.path(abs)) + " 2>/dev/null") == 0;
  }
  SslParams params(int index) {
    zrdb_close_all();
    SslParams p;
    EXPECT_EQ(read_ssl_params(ZRDB_PATH, &p, index), 0);
    return p;
  }
  CgiResult upload(const std::string& file_name, const std::string& content,
                   std::vector<std::string>* journal = nullptr, const std::string& wait_ms = "") {
    CgiRequest r = file_upload("/7084", file_name, content, "", "application/x-x509-ca-cert");
    if (!wait_ms.empty()) r.env["NVR_IPC_WAIT_MS"] = wait_ms;
    const size_t before = env_.journal().size();
    CgiResult out = env_.run(r);
    if (journal) {
      std::vector<std::string> all = env_.journal();
      journal->assign(all.begin() + static_cast<long>(before < all.size() ? before : all.size()), all.end());
    }
    return out;
  }
  // A certificate made by openssl, as text (its key is thrown away).
  std::string cert_text(const std::string& cn) {
    make_cert("/made.pem", cn);
    const std::string text = env_.read_file("/made.pem");
    unlink(env_.path("/made.pem").c_str());
    return text;
  }
  mode_t mode_of(const std::string& abs) {
    struct stat st {};
    return lstat(env_.path(abs).c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
  }
};

TEST_F(NetworkCertificatesE2e, SelfSignedCertificateSwitchAndDelete) {
  env_.start_sim();
  std::vector<std::string> j;
  EXPECT_EQ(send("/7080", R"({"InstallType":0,"Country":"USA","CommonName":"nvr.example","Validity":30,)"
                          R"("Password":"secret","Province":"Bavaria","Region":"Munich","Organization":"Demo/Org",)"
                          R"("Company":"Security","Email":"admin@example.com","startTime":"2026-12-08",)"
                          R"("endTime":"2027-01-07"})",
                 &j)
                .out,
            kTextOk);
  SslParams sent;
  std::memset(&sent, 0, sizeof sent);
  copy_field(sent.country, "US");
  copy_field(sent.commonName, "nvr.example");
  sent.validity = 30;
  copy_field(sent.password, "secret");
  copy_field(sent.province, "Bavaria");
  copy_field(sent.region, "Munich");
  copy_field(sent.organization, "Demo/Org");
  copy_field(sent.company, "Security");
  copy_field(sent.email, "admin@example.com");
  copy_field(sent.startTime, "2026-12-08");
  copy_field(sent.endTime, "2027-01-07");
  EXPECT_EQ(j, (std::vector<std::string>{line_of(3316, sent)}));

  // The CA working folder the core signs in; nothing in the SSL folder is
  // open to every local program, the private key to nobody but its owner.
  EXPECT_EQ(mode_of("/mnt/nand/ssl/demoCA"), 0755u);
  EXPECT_EQ(mode_of("/mnt/nand/ssl/demoCA/newcerts"), 0755u);
  EXPECT_EQ(mode_of("/mnt/nand/ssl/demoCA/serial"), 0644u);
  EXPECT_EQ(mode_of("/mnt/nand/ssl/tmp/.made-at-login"), 0644u);
  EXPECT_EQ(mode_of("/mnt/nand/ssl/tmp"), 0755u);
  EXPECT_EQ(env_.read_file("/mnt/nand/ssl/demoCA/serial"), "01\n");
  EXPECT_TRUE(env_.exists("/mnt/nand/ssl/demoCA/index.txt"));
  EXPECT_TRUE(env_.exists("/mnt/nand/ssl/demoCA/newcerts"));
  EXPECT_TRUE(openssl_accepts("/mnt/nand/ssl/ssl_cert.pem"));

  const std::string info = json_body(get("/7081", ""));
  EXPECT_EQ(info.rfind(R"({"enable":0,"checkfile":"OK","country":"US","common_name":"nvr.example",)"
                       R"("email":"admin@example.com","dates":")",
                       0),
            0u)
      << info;
  EXPECT_NE(info.find(" GMT - "), std::string::npos) << info;

  EXPECT_EQ(send("/7086", R"({"httpsenable":1})", &j).out, kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{line(3322, i32(1))}));
  EXPECT_EQ(json_body(get("/7087", "")), R"({"enable":1})");
  // The getter's answer posted back keeps the switch as it is.
  EXPECT_EQ(send("/7086", json_body(get("/7087", "")), &j).out, kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{line(3322, i32(1))}));
  EXPECT_EQ(json_body(get("/7087", "")), R"({"enable":1})");
  EXPECT_EQ(json_body(get("/7081", "")).rfind(R"({"enable":1,"checkfile":"OK")", 0), 0u);

  env_.write_file("/mnt/nand/ssl/ssl_cert.csr", "old request");
  EXPECT_EQ(get("/7085", "", &j).out, kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{line(3320, ""), line(3322, i32(0))}));
  EXPECT_FALSE(env_.exists("/mnt/nand/ssl/ssl_cert.pem"));
  EXPECT_FALSE(env_.exists("/mnt/nand/ssl/ssl_cert.csr"));
  SslParams blank = params(SSL_PARAMS_INSTALLED);
  EXPECT_STREQ(blank.country, " ");
  EXPECT_STREQ(blank.commonName, " ");
  EXPECT_STREQ(blank.email, " ");
  EXPECT_STREQ(blank.dates, " ");
  EXPECT_EQ(json_body(get("/7081", "")), R"({"enable":0,"checkfile":"NOFILE"})");
  EXPECT_EQ(json_body(get("/7087", "")), R"({"enable":0})");

  // Without a certificate HTTPS cannot be switched on; off always works.
  EXPECT_EQ(send("/7086", R"({"httpsenable":1})", &j).out, text_reply("NOFILE"));
  EXPECT_TRUE(j.empty());
  EXPECT_EQ(send("/7086", R"({"httpsenable":0})", &j).out, kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{line(3322, i32(0))}));
  for (const char* body : {R"({"httpsenable":2})", R"({"httpsenable":-1})", R"({"httpsenable":"x"})", R"({"enable":2})",
                           R"({"httpsenable":"x","enable":0})", R"({"on":1})", "{", ""}) {
    EXPECT_EQ(send("/7086", body, &j).out, "") << body;
    EXPECT_TRUE(j.empty()) << body;
  }
}

TEST_F(NetworkCertificatesE2e, MissingCertificateTurnsHttpsOff) {
  env_.start_sim();
  ASSERT_EQ(set_param_int(ZRDB_PATH, "httpsenable", 1), 0);
  zrdb_close_all();
  EXPECT_EQ(json_body(get("/7081", "")), R"({"enable":0,"checkfile":"NOFILE"})");
  EXPECT_EQ(get_param_int(ZRDB_PATH, "httpsenable", -1), 0);
  EXPECT_EQ(json_body(get("/7089", "")), R"({"checkfile":"NOFILE"})");
  EXPECT_EQ(get("/7082", "").out, text_reply("NotFile"));
  std::vector<std::string> j;
  EXPECT_EQ(send("/7080", R"({"InstallType":"x","CommonName":"a"})", &j).out, "");
  EXPECT_TRUE(j.empty());
  // A create answered with an empty or short status failed: never "OK".
  for (const char* script : {"3316 reply\n", "3316 reply hex=000000\n"}) {
    env_.start_sim(script);
    EXPECT_EQ(send("/7080", R"({"InstallType":1,"CommonName":"a","Validity":1})", &j).out, kTextError) << script;
    EXPECT_EQ(j.size(), 1u) << script;
  }
}

TEST_F(NetworkCertificatesE2e, SigningRequestDownloadedSignedAndInstalled) {
  env_.start_sim();
  std::vector<std::string> j;
  EXPECT_EQ(send("/7080", R"({"InstallType":1,"Country":"DE","CommonName":"nvr.lan","Validity":30,)"
                          R"("startTime":"2026-12-08","endTime":"2027-01-07"})",
                 &j)
                .out,
            kTextOk);
  SslParams sent;
  std::memset(&sent, 0, sizeof sent);
  sent.installType = 1;
  copy_field(sent.country, "DE");
  copy_field(sent.commonName, "nvr.lan");
  EXPECT_EQ(j, (std::vector<std::string>{line_of(3316, sent)}));  // no validity or times
  EXPECT_EQ(json_body(get("/7089", "")), R"({"checkfile":"OK","country_req":"DE","common_name_req":"nvr.lan","email_req":""})");
  EXPECT_FALSE(env_.exists("/mnt/nand/ssl/ssl_cert.pem"));

  const std::string csr = env_.read_file("/mnt/nand/ssl/tmp/ssl_cert.csr");
  ASSERT_NE(csr.find("BEGIN CERTIFICATE REQUEST"), std::string::npos);
  EXPECT_EQ(get("/7082", "").out,
            "Content-Type:application/octet-stream\r\nContent-Disposition: attachment; filename= ssl_cert.csr\r\n\r\n" + csr);

  // Signed by a CA of our own, as a user would do it.
  env_.write_file("/ca/request.csr", csr);
  const std::string ca = env_.path("/ca/");
  ASSERT_EQ(web_system("cd " + shell_quote(ca) +
                       " && openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout ca.key"
                       " -out ca.pem -days 2 -subj /CN=TestCA 2>/dev/null && openssl x509 -req -in request.csr"
                       " -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -out signed.pem 2>/dev/null"),
            0);
  const std::string signed_pem = env_.read_file("/ca/signed.pem");
  const size_t before = env_.journal().size();
  EXPECT_EQ(upload("C:\\certs\\signed.pem", signed_pem).out, kTextOk);
  EXPECT_EQ(env_.journal().size(), before + 1);
  EXPECT_EQ(env_.journal_of(3318), (std::vector<std::string>{""}));
  EXPECT_EQ(env_.read_file("/mnt/nand/ssl/ssl_cert.pem"), signed_pem);
  EXPECT_FALSE(env_.exists("/tmp/signed.pem"));
  EXPECT_FALSE(env_.exists("/mnt/nand/ssl/ssl_cert_save.pem"));  // nothing to keep
  EXPECT_EQ(env_.stub_calls("zrprofile"), "");  // a certificate is no configuration
  // The pending request's key now serves the signed certificate.
  EXPECT_TRUE(env_.exists("/mnt/nand/ssl/ssl_key.pem"));
  EXPECT_FALSE(env_.exists("/mnt/nand/ssl/tmp/ssl_key.pem"));
  EXPECT_EQ(json_body(get("/7081", "")).rfind(R"({"enable":0,"checkfile":"OK","country":"DE","common_name":"nvr.lan",)", 0), 0u);

  EXPECT_EQ(get("/7083", "", &j).out, kTextOk);
  EXPECT_EQ(j, (std::vector<std::string>{line(3317, "")}));
  EXPECT_EQ(json_body(get("/7089", "")), R"({"checkfile":"NOFILE"})");
  EXPECT_EQ(get("/7082", "").out, text_reply("NotFile"));
}

TEST_F(NetworkCertificatesE2e, RefusedCertificateBringsThePreviousBack) {
  env_.start_sim();
  make_cert("/mnt/nand/ssl/ssl_cert.pem", "previous");
  const std::string previous = env_.read_file("/mnt/nand/ssl/ssl_cert.pem");
  std::vector<std::string> j;
  // No certificate at all: the core never hears of it, nothing changes.
  EXPECT_EQ(upload("broken.pem", "-----BEGIN CERTIFICATE-----\nnot base64\n", &j).out, text_reply("Error"));
  EXPECT_TRUE(j.empty());
  EXPECT_EQ(env_.read_file("/mnt/nand/ssl/ssl_cert.pem"), previous);
  EXPECT_FALSE(env_.exists("/mnt/nand/ssl/ssl_cert_save.pem"));
  EXPECT_FALSE(env_.exists("/tmp/broken.pem"));

  // A certificate the core refuses: the previous one comes back.
  env_.stop_sim();
  env_.start_sim("3318 reply type=8318 hex=00000000\n");
  EXPECT_EQ(upload("refused.pem", cert_text("refused"), &j).out, text_reply("Error"));
  EXPECT_EQ(j, (std::vector<std::string>{line(3318, "")}));
  EXPECT_EQ(env_.read_file("/mnt/nand/ssl/ssl_cert.pem"), previous);
  EXPECT_EQ(env_.read_file("/mnt/nand/ssl/ssl_cert_save.pem"), previous);
  EXPECT_FALSE(env_.exists("/tmp/refused.pem"));

  // A good one replaces it and keeps a copy of it; no shell sees its name.
  env_.stop_sim();
  env_.start_sim();
  const std::string next = cert_text("next");
  EXPECT_EQ(upload("a'b $(touch pwned).pem", next, &j).out, kTextOk);
  EXPECT_EQ(env_.read_file("/mnt/nand/ssl/ssl_cert.pem"), next);
  EXPECT_EQ(env_.read_file("/mnt/nand/ssl/ssl_cert_save.pem"), previous);
  EXPECT_EQ(env_.stub_calls("zrprofile"), "");
  EXPECT_FALSE(env_.exists("/pwned"));
  EXPECT_FALSE(env_.exists("/tmp/pwned"));
  EXPECT_FALSE(env_.exists("/mnt/nand/ssl/pwned"));

  // No answer from the core: the certificate before the install stays.
  env_.stop_sim();
  env_.start_sim("3318 none\n");
  EXPECT_EQ(upload("third.pem", cert_text("third"), nullptr, "200").out, kTextError);
  EXPECT_EQ(env_.read_file("/mnt/nand/ssl/ssl_cert.pem"), next);
  EXPECT_FALSE(env_.exists("/tmp/third.pem"));
}

TEST_F(NetworkCertificatesE2e, FirstRefusedInstallLeavesNoCertificate) {
  env_.start_sim();
  EXPECT_EQ(upload("junk.pem", "junk").out, text_reply("Error"));
  EXPECT_FALSE(env_.exists("/mnt/nand/ssl/ssl_cert.pem"));
  EXPECT_FALSE(env_.exists("/mnt/nand/ssl/ssl_cert_save.pem"));
  EXPECT_FALSE(env_.exists("/tmp/junk.pem"));
}

TEST_F(NetworkCertificatesE2e, OnlyUploadedFilesInTmpAreInstalled) {
  env_.start_sim();
  ASSERT_EQ(set_param_int(ZRDB_PATH, "httpsenable", 0), 0);
  zrdb_close_all();
  const std::string db = env_.read_file("/mnt/nand/app/zrdb.db");
  ASSERT_FALSE(db.empty());
  make_cert("/mnt/nand/ssl/ssl_cert.pem", "kept");
  const std::string kept = env_.read_file("/mnt/nand/ssl/ssl_cert.pem");
  make_cert("/var/cert.pem", "elsewhere");
  ASSERT_EQ(symlink(env_.path("/var/cert.pem").c_str(), env_.path("/tmp/link.pem").c_str()), 0);
  ASSERT_EQ(link(env_.path("/var/cert.pem").c_str(), env_.path("/tmp/hard.pem").c_str()), 0);
  mkdir(env_.path("/tmp/dir.pem").c_str(), 0755);
  // A certificate of another client's upload, named by a request that
  // uploaded nothing.
  make_cert("/tmp/x.pem", "other client");
  const std::string other = env_.read_file("/tmp/x.pem");
  for (const std::string& text : {std::string("/mnt/nand/app/zrdb.db"), env_.path("/mnt/nand/app/zrdb.db"),
                                  env_.path("/tmp/../mnt/nand/app/zrdb.db"), std::string("/tmp/../var/cert.pem"),
                                  env_.path("/tmp/link.pem"), env_.path("/tmp/hard.pem"), env_.path("/tmp/dir.pem"),
                                  env_.path("/tmp/missing.pem"), env_.path("/tmp/cgilockfile"), env_.path("/tmp/x.pem"),
                                  env_.path("/tmp/x.pem") + " & x"}) {
    std::vector<std::string> j;
    EXPECT_EQ(get("/7084", text, &j).out, text_reply("Error")) << text;
    EXPECT_TRUE(j.empty()) << text;
  }
  std::vector<std::string> j;
  EXPECT_EQ(get("/7084", "", &j).out, "");
  EXPECT_TRUE(j.empty());

  // Uploads that are no certificate: refused before the core hears of them,
  // never handed to the profile tool, and gone afterwards. A name with " & "
  // is one name: the other client's "x.pem" is not touched.
  for (const std::string& name : {std::string("profile.tar.gz"), std::string("x.pem & y"), std::string("big.bin")}) {
    const std::string content = name == "big.bin" ? std::string(1 << 20, 'b') : "nvr profile 1\nzrdb.db";
    EXPECT_EQ(upload(name, content, &j).out, text_reply("Error")) << name;
    EXPECT_TRUE(j.empty()) << name;
    EXPECT_FALSE(env_.exists("/tmp/" + name)) << name;
  }
  EXPECT_EQ(env_.read_file("/tmp/x.pem"), other);
  EXPECT_EQ(env_.stub_calls("zrprofile"), "");
  EXPECT_EQ(env_.read_file("/mnt/nand/ssl/ssl_cert.pem"), kept);
  EXPECT_TRUE(env_.exists("/mnt/nand/app/zrdb.db"));
  EXPECT_TRUE(env_.exists("/var/cert.pem"));
}

}  // namespace
