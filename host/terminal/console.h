// The host's terminal: lines in from standard input (read with poll so that
// the host can keep the plug-in's periodic update going while it waits),
// text out to standard output, and the host's log file.
#pragma once

#include <poll.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace host {

// Other descriptors the host serves while it waits for a line (the
// planetarium servers' sockets).  Ready() must not wait, nor call the
// plug-in: it only moves bytes.
class WaitHook {
 public:
  virtual ~WaitHook() = default;
  virtual void AddDescriptors(std::vector<pollfd>* fds) = 0;
  virtual void Ready() = 0;
};

class Console {
 public:
  // `scripted`: answer every question at once instead of waiting for the
  // person (also the case when standard input is not a terminal).
  explicit Console(bool scripted);
  ~Console();

  // True when a person sits at the terminal and the host may wait for them.
  bool interactive() const { return interactive_; }
  bool at_end() const { return at_end_; }

  // A line without its newline; nothing when `timeout_ms` passed first or
  // input ended.  A negative time-out waits as long as it takes.
  std::optional<std::string> ReadLine(int timeout_ms);
  // A line of its own for a question that comes up while a person may be
  // typing: what was typed before (a line begun, lines not yet run) is set
  // aside and kept for the next ReadLine, and the answer is the next line
  // typed.  Nothing when input ended.
  std::optional<std::string> ReadOwnLine();
  // What has been typed of a line not yet ended.
  const std::string& typed() const { return pending_; }

  // Whether a whole line has been typed, waiting up to `timeout_ms` for one;
  // the line stays for the next ReadLine.
  bool LinePending(int timeout_ms);
  void SetWaitHook(WaitHook* hook) { hook_ = hook; }

  void Print(const std::string& text);     // as it is
  void Line(const std::string& text);      // with a newline
  void Error(const std::string& text);     // "velastra-host: ..." on standard error
  void Prompt(const std::string& prompt);  // shown only in an interactive session

  // The log: every message box, dialog and command, with the time.
  bool OpenLog(const std::string& path, std::string* error);
  void Log(const std::string& text);

 private:
  bool interactive_;
  bool at_end_ = false;
  std::string pending_;
  std::FILE* log_ = nullptr;
  WaitHook* hook_ = nullptr;
};

}  // namespace host
