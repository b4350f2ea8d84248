// Stored certificate parameters: the payload of the create request 3316
// and what the core keeps of the installed certificate (index 0) and of the
// pending signing request (index 2). Used by the certificate pages and
// zrcore-sim.
#pragma once
#include <cstddef>
#include <cstdint>

struct SslParams {
  int32_t installType;  // 0 self-signed certificate, else a signing request
  char country[3];
  char commonName[64];
  uint8_t pad71;
  int32_t validity;
  char password[16];
  char province[64];
  char region[64];
  char organization[64];
  char company[64];
  char email[64];
  uint8_t reserved412[256];
  char dates[192];  // as the core stores them
  char startTime[16];
  char endTime[16];
};
static_assert(sizeof(SslParams) == 892, "certificate parameters are 892 bytes");
static_assert(offsetof(SslParams, country) == 4, "country at 4");
static_assert(offsetof(SslParams, commonName) == 7, "common name at 7");
static_assert(offsetof(SslParams, validity) == 72, "validity at 72");
static_assert(offsetof(SslParams, password) == 76, "password at 76");
static_assert(offsetof(SslParams, province) == 92, "province at 92");
static_assert(offsetof(SslParams, region) == 156, "region at 156");
static_assert(offsetof(SslParams, organization) == 220, "organization at 220");
static_assert(offsetof(SslParams, company) == 284, "company at 284");
static_assert(offsetof(SslParams, email) == 348, "e-mail at 348");
static_assert(offsetof(SslParams, dates) == 668, "dates at 668");
static_assert(offsetof(SslParams, startTime) == 860, "start time at 860");
static_assert(offsetof(SslParams, endTime) == 876, "end time at 876");

constexpr int SSL_PARAMS_INSTALLED = 0;
constexpr int SSL_PARAMS_REQUEST = 2;
// Results 0 / -1 (an index other than 0 and 2 is refused); parameters
// never written read as zeros.
int read_ssl_params(const char* db, SslParams* rec, int index);
int write_ssl_params(const char* db, const SslParams* rec, int index);

// Certificate files: the installed certificate, the copy of the previous
// one, a request file and the pending signing request.
constexpr char SSL_DIR[] = "/mnt/nand/ssl";
constexpr char SSL_CERT_FILE[] = "/mnt/nand/ssl/ssl_cert.pem";
constexpr char SSL_CERT_SAVE_FILE[] = "/mnt/nand/ssl/ssl_cert_save.pem";
constexpr char SSL_CSR_FILE[] = "/mnt/nand/ssl/ssl_cert.csr";
constexpr char SSL_PENDING_CSR_FILE[] = "/mnt/nand/ssl/tmp/ssl_cert.csr";
// The private keys the core keeps beside them.
constexpr char SSL_KEY_FILE[] = "/mnt/nand/ssl/ssl_key.pem";
constexpr char SSL_PENDING_KEY_FILE[] = "/mnt/nand/ssl/tmp/ssl_key.pem";

