#include "host_test_support.h"

#include <png.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace hosttest {
namespace {

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string Capture(const std::string& command) {
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, got);
    pclose(pipe);
  }
  return out;
}

}  // namespace

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

Run RunHost(const std::string& arguments, const std::string& input) {
  namespace fs = std::filesystem;
  const fs::path base =
      fs::temp_directory_path() /
      ("velastra-host-run-" + std::to_string(getpid()) + "-" +
       std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
  const std::string in = base.string() + ".in", out = base.string() + ".out",
                    err = base.string() + ".err";
  std::ofstream(in, std::ios::binary) << input;
  const std::string command = ShellQuote(VELASTRA_HOST_PATH) + " " + arguments + " <" +
                              ShellQuote(in) + " >" + ShellQuote(out) + " 2>" + ShellQuote(err);
  const int status = std::system(command.c_str());
  Run run;
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = Slurp(out);
  run.err = Slurp(err);
  std::error_code ignored;
  fs::remove(in, ignored), fs::remove(out, ignored), fs::remove(err, ignored);
  return run;
}

int Picture::Count(int x0, int y0, int x1, int y1, Pixel colour) const {
  int n = 0;
  for (int y = y0; y < y1; ++y) {
    for (int x = x0; x < x1; ++x) n += At(x, y) == colour ? 1 : 0;
  }
  return n;
}

Picture ReadPng(const std::string& path) {
  Picture picture;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (png_image_begin_read_from_file(&image, path.c_str()) == 0) return picture;
  image.format = PNG_FORMAT_RGB;
  std::vector<std::uint8_t> rgb(PNG_IMAGE_SIZE(image));
  if (png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr) == 0) return picture;
  picture.width = static_cast<int>(image.width);
  picture.height = static_cast<int>(image.height);
  picture.rgb = std::move(rgb);
  return picture;
}

bool HaveTmux() { return std::system("command -v tmux >/dev/null 2>&1") == 0; }

namespace {
int NextSocket() {
  static int next = 0;
  return ++next;
}
}  // namespace

Tmux::Tmux(const std::string& command, int columns, int rows)
    // A server of its own each time: a second session on the socket of one
    // just killed can meet that server still exiting.
    : socket_("velastra-test-" + std::to_string(getpid()) + "-" + std::to_string(NextSocket())) {
  const std::string start = "tmux -L " + socket_ + " -f /dev/null new-session -d -x " +
                            std::to_string(columns) + " -y " + std::to_string(rows) + " " +
                            ShellQuote(command);
  started_ = std::system(start.c_str()) == 0;
}

Tmux::~Tmux() {
  if (started_) std::system(("tmux -L " + socket_ + " kill-server >/dev/null 2>&1").c_str());
}

void Tmux::Type(const std::string& text) {
  std::system(("tmux -L " + socket_ + " send-keys -l " + ShellQuote(text)).c_str());
  std::system(("tmux -L " + socket_ + " send-keys Enter").c_str());
}

void Tmux::Keys(const std::string& text) {
  std::system(("tmux -L " + socket_ + " send-keys -l " + ShellQuote(text)).c_str());
}

std::string Tmux::Screen() {
  return Capture("tmux -L " + socket_ + " capture-pane -p -J -S -2000 2>/dev/null");
}

std::string Tmux::Visible() {
  return Capture("tmux -L " + socket_ + " capture-pane -p 2>/dev/null");
}

bool Tmux::WaitFor(const std::string& text, double seconds) {
  const auto end =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(long(seconds * 1000));
  while (std::chrono::steady_clock::now() < end) {
    if (Screen().find(text) != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

}  // namespace hosttest
