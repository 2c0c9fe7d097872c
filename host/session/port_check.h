// Why a serial port cannot be opened, in words a person can act on: the host
// follows a port name to its device the way the plug-in does (the link
// ports/<name> in the configuration folder, else /dev/ttyS<n-1> for COMn) and
// tries the device the way the plug-in opens it, without keeping it.
#pragma once

#include <string>
#include <vector>

namespace host {

struct PortCheck {
  enum class Verdict {
    kReady,         // it opens, nobody holds it locked, and the box answers as it should
    kNoDevice,      // no link, a link to nothing, or a device that is not there
    kNotSerial,     // the path names something that is not a character device
    kNoPermission,  // the device refuses this user
    kInUse,         // another program holds it
    kOther,         // any other failure of open()
    kBadAnswer,     // it opens, but the box's answer is missing, short, slow or malformed
  };
  Verdict verdict = Verdict::kOther;
  std::string port;                  // "COM1"; empty for a device no port links to
  std::string link;                  // the ports/ link followed, or empty
  std::string device;                // the device path the port stands for
  std::vector<std::string> holders;  // other processes with the device open: "1234 (cat)"
  std::vector<std::string> lines;    // the diagnosis, one sentence a line

  bool ready() const { return verdict == Verdict::kReady; }
  // The diagnosis for a terminal: its lines wrapped at 78 columns.
  std::string Text() const;
};

// Diagnoses `port`: a port name as typed (COM1 to COM4, the dialog's, or a
// name with a link in the ports folder; never cut), or a device path, for
// which the check names the port that links to it.  With `probe` the device
// is opened as the plug-in opens it and the box is asked "Q" (and "P" when
// the profile has the status on); ready only when it answered as the plug-in
// reads it.  Without `probe` the device is not opened: only found, with the
// other programs that hold it (for a port this process has open itself).
PortCheck CheckPort(const std::string& port, bool probe = true);

// A key of the plug-in's section in the profile of the configuration folder,
// as written there; `fallback` when it is missing.
std::string ProfileValue(const std::string& key, const std::string& fallback);
// The port the plug-in will open: CommPort of the profile, else "COM1".
std::string ProfilePort();

}  // namespace host
