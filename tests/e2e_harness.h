// End-to-end harness: runs the built CGI program as a web server would
// (environment, standard input, standard output, exit code) inside a
// temporary NVR_ROOT, against zrcore-sim on a real Unix socket.
#pragma once
#include <csignal>
#include <functional>
#include <map>
#include <string>
#include <vector>

struct CgiRequest {
  std::string method = "GET";
  std::string path_info;
  std::string query;
  std::string content_type;
  std::string body;
  // Empty: the harness sends the cookies of its default signed-in
  // administrator (see kDefaultCookie). Set anonymous to send none.
  std::string cookie;
  bool anonymous = false;
  bool send_content_length = true;  // CONTENT_LENGTH = body size
  bool keep_stdin_open = false;     // like a server that never closes stdin
  // Non-empty: standard output is this regular file (a server that spools
  // the output); out is its content after the run.
  std::string stdout_file;
  // Non-empty: the output is not read until this file exists (a reader
  // that stops reading for a while).
  std::string hold_output_until;
  // After the whole body was written: this signal, once signal_when holds
  // (checked as the program runs), like a server stopping a request.
  int signal = 0;
  std::function<bool()> signal_when;
  std::map<std::string, std::string> env;  // extra or overriding variables
};

struct CgiResult {
  std::string out;
  int exit_code = -1;
};

class E2eEnv {
 public:
  E2eEnv();
  ~E2eEnv();
  E2eEnv(const E2eEnv&) = delete;
  E2eEnv& operator=(const E2eEnv&) = delete;

  const std::string& root() const { return root_; }
  // root + an absolute system path.
  std::string path(const std::string& abs) const { return root_ + abs; }
  void write_file(const std::string& abs, const std::string& content) const;
  std::string read_file(const std::string& abs) const;
  bool exists(const std::string& abs) const;

  // Starts zrcore-sim with an optional script text; waits for its socket.
  void start_sim(const std::string& script = "");
  // Stops zrcore-sim with the signal (SIGKILL: as if it crashed).
  void stop_sim(int sig = SIGTERM);
  // Journal lines "<id> <hex>" received so far.
  std::vector<std::string> journal() const;
  // Journal lines for one request id (hex only).
  std::vector<std::string> journal_of(int id) const;

  // Puts a stand-in program into <root>/bin (first on PATH for the CGI
  // program); it records its arguments to <root>/calls/<name>.
  void add_stub(const std::string& name, const std::string& script_body = "exit 0") const;
  std::string stub_calls(const std::string& name) const;

  // Creates a fresh configuration database with the demo defaults by
  // running the built zrdb tool ("zrdb seed"); true on success.
  bool seed_db() const;

  CgiResult run(const CgiRequest& req, const std::string& program = "") const;
  // Runs a built tool (e.g. ZRDB_TOOL_PATH) with NVR_ROOT set to this
  // environment, through the emulator on cross builds; out is its stdout.
  CgiResult run_tool(const std::string& program, const std::vector<std::string>& args) const;

  // Stores (or refreshes) the default administrator session, last used at
  // t (seconds since boot, as nvr_uptime counts them).
  void seed_admin_session(long long t) const;

 private:
  CgiResult run_program(const CgiRequest& req, const std::string& program,
                        const std::vector<std::string>& extra_args) const;
  std::string root_;
  int sim_pid_ = -1;
};

// The cookie the harness sends by default: the administrator "admin" with
// the session every E2eEnv seeds in its store (kDefaultSessionId, made from
// 127.0.0.1, all rights, last used when the env was made or at the
// request's NVR_FIXED_UPTIME).
extern const char kDefaultCookie[];
extern const char kDefaultSessionId[];

// The operation-log record a handler run by the harness sends: user "admin",
// client address "127.0.0.1", main type 4.
struct OperationLogInfo;
OperationLogInfo expected_log_record(long long sub_type, int param, int channel);

// A multipart POST of one file in the field "file", as the pages upload it.
CgiRequest file_upload(const std::string& name, const std::string& file_name, const std::string& content,
                       const std::string& query = "",
                       const std::string& content_type = "application/octet-stream");

// Hex of a byte range, as the journal writes it.
std::string to_hex(const void* data, size_t len);
template <typename T>
std::string record_hex(const T& rec) { return to_hex(&rec, sizeof rec); }
