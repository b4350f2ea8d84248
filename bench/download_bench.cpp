// Recording download throughput and memory (run by bench/download.sh).
//
//   download_bench <webcgi> <request text> <file for the AVI>
//
// Runs webcgi for "/4013" with the environment it was given (NVR_ROOT,
// a signed-in cookie, zrcore-sim serving the recording) three ways:
//   fast:  its output read as fast as it comes, timed;
//   cat:   `nice -n 19 cat` of the AVI the fast run produced, through the
//          same kind of pipe to the same reader (webcgi lowers its own
//          priority to 19, so cat gets the same), timed;
//   slow:  its output read 64 KiB per millisecond (a slow browser), with
//          the peak resident memory of webcgi.
// The fast and cat runs are repeated five times, in turn; the best of each
// is printed: MB/s (10^6 bytes), and peak RSS in KiB.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {
struct Run {
  long long bytes = 0;
  double seconds = 0;
  long max_rss_kib = 0;
  int status = -1;
};

// Runs argv with stdin from the text and stdout to a pipe this process
// reads; the output goes to save when it is not null.
Run run(const std::vector<std::string>& argv, const std::string& input, bool slow, FILE* save) {
  int in[2], out[2];
  if (pipe(in) != 0 || pipe(out) != 0) std::exit(1);
  const auto t0 = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    close(in[0]);
    close(in[1]);
    close(out[0]);
    close(out[1]);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  if (!input.empty() && write(in[1], input.data(), input.size()) < 0) std::perror("write");
  close(in[1]);
  Run r;
  std::vector<char> buf(slow ? 64 * 1024 : 1024 * 1024);
  for (;;) {
    ssize_t n = read(out[0], buf.data(), buf.size());
    if (n <= 0) break;
    r.bytes += n;
    if (save) std::fwrite(buf.data(), 1, static_cast<size_t>(n), save);
    if (slow) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  close(out[0]);
  struct rusage ru {};
  int st = 0;
  wait4(pid, &st, 0, &ru);
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  r.max_rss_kib = ru.ru_maxrss;
  r.status = st;
  return r;
}

double mbps(const Run& r) { return r.seconds > 0 ? static_cast<double>(r.bytes) / r.seconds / 1e6 : 0; }
}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: download_bench <webcgi> <request text> <avi file>\n");
    return 2;
  }
  const std::string cgi = argv[1], text = argv[2], file = argv[3];
  setenv("REQUEST_METHOD", "POST", 1);
  setenv("PATH_INFO", "/4013", 1);
  setenv("CONTENT_TYPE", "application/json", 1);
  setenv("CONTENT_LENGTH", std::to_string(text.size()).c_str(), 1);

  // The AVI without the reply headers, for cat.
  FILE* save = std::fopen((file + ".reply").c_str(), "wb");
  Run fast = run({cgi}, text, false, save);
  std::fclose(save);
  {
    FILE* in = std::fopen((file + ".reply").c_str(), "rb");
    FILE* out = std::fopen(file.c_str(), "wb");
    std::string head;
    int c;
    while ((c = std::fgetc(in)) != EOF) {
      head += static_cast<char>(c);
      if (head.size() >= 4 && head.compare(head.size() - 4, 4, "\r\n\r\n") == 0) break;
    }
    std::vector<char> buf(1 << 20);
    size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), in)) > 0) std::fwrite(buf.data(), 1, n, out);
    std::fclose(in);
    std::fclose(out);
    std::remove((file + ".reply").c_str());
  }
  Run cat = run({"nice", "-n", "19", "cat", file}, "", false, nullptr);
  // The machine may be busy: the best of five runs of each, taken in turn.
  for (int i = 0; i < 4; ++i) {
    Run f = run({cgi}, text, false, nullptr);
    if (mbps(f) > mbps(fast)) fast = f;
    Run c = run({"nice", "-n", "19", "cat", file}, "", false, nullptr);
    if (mbps(c) > mbps(cat)) cat = c;
  }
  Run slow = run({cgi}, text, true, nullptr);

  std::printf("webcgi_fast %lld bytes %.3f s %.0f MB/s rss %ld KiB\n", fast.bytes, fast.seconds, mbps(fast),
              fast.max_rss_kib);
  std::printf("cat         %lld bytes %.3f s %.0f MB/s\n", cat.bytes, cat.seconds, mbps(cat));
  std::printf("webcgi_slow %lld bytes %.3f s %.0f MB/s rss %ld KiB\n", slow.bytes, slow.seconds, mbps(slow),
              slow.max_rss_kib);
  std::printf("ratio %.0f%%\n", mbps(cat) > 0 ? 100.0 * mbps(fast) / mbps(cat) : 0);
  return 0;
}
