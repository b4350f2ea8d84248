// A real browser for the console tests: Debian's chromium, headless, driven
// through chromedriver's WebDriver interface (JSON over HTTP on loopback).
// One Browser owns one chromedriver process and one browser session.
#pragma once
#include <string>

class Browser {
 public:
  Browser() = default;
  ~Browser() { quit(); }
  Browser(const Browser&) = delete;
  Browser& operator=(const Browser&) = delete;

  // "" when chromium and chromedriver are installed, else what is missing.
  static std::string missing();

  // Starts chromedriver and a headless browser session whose downloads land
  // in download_dir. False, with the reason in error(), on failure.
  bool start(const std::string& download_dir);
  void quit();

  bool go(const std::string& url);
  bool refresh();
  // Runs the body of a function in the page ("return ..." gives a value) and
  // answers the JSON text of its value ("null" when none, "" on failure).
  std::string eval(const std::string& script);
  // Polls the expression in the page until it is truthy; false when it is
  // not within timeout_ms.
  bool wait_for(const std::string& expression, int timeout_ms = 10000);

  // Element actions through the driver, as a person would: the element is
  // the first match of a CSS selector.
  bool click(const std::string& css);
  bool type(const std::string& css, const std::string& text);  // clears first
  std::string text(const std::string& css);  // rendered text, "" when absent
  // A PNG of the viewport.
  bool screenshot(const std::string& png_path);
  bool set_window(int width, int height);

  const std::string& error() const { return error_; }

 private:
  // One driver command; the JSON text of "value", or "" (error() set) when
  // the driver reports an error.
  std::string command(const std::string& method, const std::string& path, const std::string& body = "");
  std::string element(const std::string& css);

  int driver_pid_ = -1;
  int port_ = 0;
  std::string session_;
  std::string error_;
};

// A JSON string literal of text, for scripts and command bodies.
std::string js_quote(const std::string& text);
