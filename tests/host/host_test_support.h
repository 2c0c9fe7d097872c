// Running the velastra-host program from a test: with its standard input
// from a text, or in a tmux session driven key by key; and reading the PNG
// pictures it writes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dsc_sim.h"
#include "temp_config.h"

namespace hosttest {

struct Run {
  int exit_code = -1;
  std::string out;
  std::string err;
};

// Runs velastra-host with `arguments` (already quoted for the shell) and
// `input` as its standard input.
Run RunHost(const std::string& arguments, const std::string& input);

struct Picture {
  int width = 0, height = 0;
  std::vector<std::uint8_t> rgb;
  bool ok() const { return width > 0; }
  struct Pixel {
    int r, g, b;
    bool operator==(const Pixel&) const = default;
  };
  Pixel At(int x, int y) const {
    const std::size_t i = (static_cast<std::size_t>(y) * width + x) * 3;
    return {rgb[i], rgb[i + 1], rgb[i + 2]};
  }
  // How many pixels of the rectangle [x0, x1) x [y0, y1) have this colour.
  int Count(int x0, int y0, int x1, int y1, Pixel colour) const;
};
Picture ReadPng(const std::string& path);

// A tmux server of the test's own with one window running a command.
class Tmux {
 public:
  Tmux(const std::string& command, int columns, int rows);
  ~Tmux();
  bool started() const { return started_; }
  void Type(const std::string& text);  // literal keys, then Enter
  void Keys(const std::string& text);  // literal keys alone
  std::string Screen();                // with what scrolled off
  std::string Visible();               // what the terminal shows now
  // Waits until the screen shows `text`; false after `seconds`.
  bool WaitFor(const std::string& text, double seconds = 10.0);

 private:
  std::string socket_;
  bool started_ = false;
};

bool HaveTmux();

// The simulated box unpaced at 8192 counts a turn on both axes, and a
// profile of an equatorial mount with the status query on whose COM1 is
// linked to it: what most host tests run against.  False when the box does
// not start.
inline bool StartEquatorialBox(dscsim::Box& box, testsupport::TempConfigDir& config) {
  if (!box.Start()) return false;
  box.SetPacing(false);
  dscsim::SkyModel model = box.GetSkyModel();
  model.axis1.resolution = 8192;
  model.axis2.resolution = 8192;
  box.SetSkyModel(model);
  config.WriteProfile(
      "[ZazuvUzarDLL]\nResRA=8192\nResDec=8192\nCommPort=COM1\nMountType=EQ\nPCode=ON\n");
  config.LinkPort("COM1", box.SlavePath());
  return true;
}
std::string ShellQuote(const std::string& text);

}  // namespace hosttest
