// The request front end end to end: entry paths, request texts and limits,
// as a web server runs the program.
#include <gtest/gtest.h>

#include <string>

#include "cgi/cgic.h"
#include "e2e_harness.h"

namespace {
const std::string kText = "Content-type: text/plain\r\n\r\n";

CgiResult run_probe(const E2eEnv& env, CgiRequest req) { return env.run(req, PROBE_PATH); }

CgiRequest get(const std::string& name, const std::string& query) {
  CgiRequest r;
  r.method = "GET";
  r.path_info = name;
  r.query = query;
  return r;
}

CgiRequest post(const std::string& name, const std::string& type, const std::string& body) {
  CgiRequest r;
  r.method = "POST";
  r.path_info = name;
  r.content_type = type;
  r.body = body;
  return r;
}
}  // namespace

TEST(EntryPaths, GetHandsOverTheQueryWithQuotesRestored) {
  E2eEnv env;
  auto r = run_probe(env, get("/9990", "{%22chn%22:1,%22n%22:%22a%20b+c%22}"));
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, kText + "{\"chn\":1,\"n\":\"a%20b+c\"}");
}

TEST(EntryPaths, GetQueryIsCutTo1023BeforeReplacing) {
  E2eEnv env;
  std::string query(1021, 'q');
  query += "%22tail";  // "%22" straddles the cut: only "%2" survives
  auto r = run_probe(env, get("/9990", query));
  EXPECT_EQ(r.out, kText + std::string(1021, 'q') + "%2");
}

TEST(EntryPaths, PostContentTypesChooseThePath) {
  struct Row {
    const char* type;
    bool dispatched;
  };
  const Row rows[] = {
      {"application/json", true},
      {"application/json; charset=UTF-8", true},
      {"Application/JSON", true},
      {"application/x-www-form-urlencoded", true},
      {"text/plain", false},
      {"application/jsonx", false},
      {"", false},
  };
  E2eEnv env;
  for (const Row& row : rows) {
    auto r = run_probe(env, post("/9990", row.type, "{\"a\":1}"));
    EXPECT_EQ(r.exit_code, 0) << row.type;
    EXPECT_EQ(r.out, row.dispatched ? kText + "{\"a\":1}" : "") << row.type;
  }
}

TEST(EntryPaths, NothingIsAnsweredForOtherMethodsAndUnknownNames) {
  E2eEnv env;
  CgiRequest put = post("/9990", "application/json", "{}");
  put.method = "PUT";
  for (const CgiRequest& req : {put, get("/9999", "x"), get("", "x"), get("/9990 ", "x"),
                                get("/99900000", "x"), post("", "application/json", "{}")}) {
    auto r = run_probe(env, req);
    EXPECT_EQ(r.exit_code, 0) << req.method << " " << req.path_info;
    EXPECT_EQ(r.out, "") << req.method << " " << req.path_info;
  }
}

TEST(EntryPaths, PostBodyLimits) {
  E2eEnv env;
  // One long form line: the first 30719 bytes.
  auto r = run_probe(env, post("/9990", "application/x-www-form-urlencoded", std::string(40000, 'x')));
  EXPECT_EQ(r.out, kText + std::string(30719, 'x'));
  // A JSON body as long as a large page's answer arrives whole, and one past
  // 1 MiB is cut at 1 MiB less the terminating zero.
  r = run_probe(env, post("/9990", "application/json", std::string(200000, 'x')));
  EXPECT_EQ(r.out, kText + std::string(200000, 'x'));
  r = run_probe(env, post("/9990", "application/json", std::string(1100000, 'x')));
  EXPECT_EQ(r.out, kText + std::string(1024 * 1024 - 1, 'x'));
  CgiRequest unsized = post("/9990", "application/json", std::string(40000, 'y'));
  unsized.send_content_length = false;
  r = run_probe(env, unsized);
  EXPECT_EQ(r.out, kText + std::string(40000, 'y'));

  // Many short lines: the first 128.
  std::string body, first128;
  for (int i = 0; i < 200; ++i) {
    std::string line = "l" + std::to_string(i) + "\n";
    body += line;
    if (i < 128) first128 += line;
  }
  r = run_probe(env, post("/9990", "application/json", body));
  EXPECT_EQ(r.out, kText + first128);

  // A NUL byte ends the text.
  r = run_probe(env, post("/9990", "application/json", std::string("ab\0cd", 5)));
  EXPECT_EQ(r.out, kText + "ab");
  // ... also when more lines follow: they are not joined on at the NUL.
  r = run_probe(env, post("/9990", "application/json", std::string("ab\0cd\nef\n", 9)));
  EXPECT_EQ(r.out, kText + "ab");
}

TEST(EntryPaths, PostReadsNoMoreThanContentLength) {
  E2eEnv env;
  // The server keeps standard input open after the body: the program must
  // still answer, with exactly CONTENT_LENGTH bytes.
  CgiRequest req = post("/9990", "application/json", "{\"k\":1}EXTRA");
  req.send_content_length = false;
  req.env["CONTENT_LENGTH"] = "7";
  req.keep_stdin_open = true;
  auto r = run_probe(env, req);
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, kText + "{\"k\":1}");

  req = post("/9990", "application/json", "");
  req.keep_stdin_open = true;
  r = run_probe(env, req);
  EXPECT_EQ(r.out, kText);
}

TEST(EntryPaths, ContentLengthThatIsNotANumberCountsAsNone) {
  // Only a decimal CONTENT_LENGTH bounds the read; any other text is no
  // length at all and the whole body is the request text.
  struct Row {
    const char* length;
    std::string want;
  } rows[] = {
      {"abc", "{\"k\":1}"}, {"12abc", "{\"k\":1}"}, {"-3", "{\"k\":1}"}, {" 3", "{\"k\":1}"},
      {"", "{\"k\":1}"},    {"3", "{\"k"},             {"0", ""},
  };
  E2eEnv env;
  for (const Row& row : rows) {
    CgiRequest req = post("/9990", "application/json", "{\"k\":1}");
    req.send_content_length = false;
    req.env["CONTENT_LENGTH"] = row.length;
    auto r = run_probe(env, req);
    EXPECT_EQ(r.exit_code, 0) << row.length;
    EXPECT_EQ(r.out, kText + row.want) << "CONTENT_LENGTH=" << row.length;
  }
}

TEST(EntryPaths, ShellValuesStayLiteral) {
  const char* hostile[] = {
      "$(touch HACKED)", "`touch HACKED`", "a; touch HACKED", "a | touch HACKED", "a & touch HACKED",
      "it's \"quoted\"",  "line1\nline2",   "-n -e x",         "'; touch HACKED; '",
  };
  E2eEnv env;
  for (const char* value : hostile) {
    std::string json = "{\"text\":";
    // JSON-escape quotes, backslashes and newlines.
    json += '"';
    for (const char* p = value; *p; ++p) {
      if (*p == '"' || *p == '\\') json += '\\';
      if (*p == '\n') {
        json += "\\n";
        continue;
      }
      json += *p;
    }
    json += "\"}";
    auto r = run_probe(env, post("/9993", "application/json", json));
    EXPECT_EQ(r.out, kText + "OK") << value;
    EXPECT_EQ(env.read_file("/tmp/probe_out"), value);
    EXPECT_FALSE(env.exists("/HACKED")) << value;
  }
}
