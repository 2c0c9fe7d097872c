#include "console.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <ctime>

namespace host {

Console::Console(bool scripted)
    : interactive_(!scripted && isatty(STDIN_FILENO) == 1 && isatty(STDOUT_FILENO) == 1) {}

Console::~Console() {
  if (log_ != nullptr) std::fclose(log_);
}

std::optional<std::string> Console::ReadLine(int timeout_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    const std::size_t newline = pending_.find('\n');
    if (newline != std::string::npos) {
      std::string line = pending_.substr(0, newline);
      pending_.erase(0, newline + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return line;
    }
    if (at_end_) {
      if (pending_.empty()) return std::nullopt;
      std::string line;
      line.swap(pending_);
      return line;
    }
    int wait = -1;
    if (timeout_ms >= 0) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return std::nullopt;
      wait = static_cast<int>(left.count());
    }
    std::vector<pollfd> fds{{STDIN_FILENO, POLLIN, 0}};
    if (hook_ != nullptr) hook_->AddDescriptors(&fds);
    const int ready = poll(fds.data(), fds.size(), wait);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) {
      if (ready < 0) at_end_ = true;
      continue;
    }
    if (hook_ != nullptr && ready > (fds[0].revents != 0 ? 1 : 0)) hook_->Ready();
    if (fds[0].revents == 0) continue;
    char buffer[512];
    const ssize_t got = read(STDIN_FILENO, buffer, sizeof buffer);
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (got <= 0) {
      at_end_ = true;
      continue;
    }
    pending_.append(buffer, static_cast<std::size_t>(got));
  }
}

std::optional<std::string> Console::ReadOwnLine() {
  // A line begun at the terminal sits in the terminal's own buffer until
  // Enter; it is fetched (without waiting) so that the answer cannot join it.
  termios saved{};
  if (tcgetattr(STDIN_FILENO, &saved) == 0) {
    termios raw = saved;
    raw.c_lflag &= static_cast<tcflag_t>(~ICANON);
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    char buffer[512];
    for (ssize_t got; (got = read(STDIN_FILENO, buffer, sizeof buffer)) > 0;) {
      pending_.append(buffer, static_cast<std::size_t>(got));
    }
    tcsetattr(STDIN_FILENO, TCSANOW, &saved);
  }
  std::string before;
  before.swap(pending_);
  std::optional<std::string> answer = ReadLine(-1);
  // Whatever came after the answer's line follows what was typed before.
  pending_ = before + pending_;
  return answer;
}

bool Console::LinePending(int timeout_ms) {
  if (pending_.find('\n') != std::string::npos) return true;
  std::optional<std::string> line = ReadLine(timeout_ms);
  if (!line) return false;
  pending_.insert(0, *line + "\n");
  return true;
}

void Console::Print(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

void Console::Line(const std::string& text) { Print(text + "\n"); }

void Console::Error(const std::string& text) {
  std::fprintf(stderr, "velastra-host: %s\n", text.c_str());
  std::fflush(stderr);
  Log("error: " + text);
}

void Console::Prompt(const std::string& prompt) {
  if (interactive_) Print(prompt);
}

bool Console::OpenLog(const std::string& path, std::string* error) {
  std::FILE* file = std::fopen(path.c_str(), "a");
  if (file == nullptr) {
    if (error != nullptr) *error = "cannot write the log " + path;
    return false;
  }
  if (log_ != nullptr) std::fclose(log_);
  log_ = file;
  return true;
}

void Console::Log(const std::string& text) {
  if (log_ == nullptr) return;
  const std::time_t now = std::time(nullptr);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", std::localtime(&now));
  std::fprintf(log_, "%s %s\n", stamp, text.c_str());
  std::fflush(log_);
}

}  // namespace host
