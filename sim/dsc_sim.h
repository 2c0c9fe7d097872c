// A simulated digital setting-circle box on a pseudo-terminal.
//
// The box owns the master side of a pseudo-terminal pair and names the slave
// device, which a program opens as if it were the serial port the box hangs
// on.  A thread of the box's own answers what arrives:
//   "Q" (0x51)  ->  14 bytes, "+01234\t-00567\r": two signed five-digit counts
//   "P" (0x50)  ->  4 bytes of status, "000\r" unless set otherwise
// Every other byte is counted and ignored.  Bytes leave at the pace of a
// 9600 baud 8N1 line unless pacing is switched off, and the bytes 0x11 and
// 0x13 (XON, XOFF) are never sent.  Fault modes make the box misbehave the way
// real hardware and cables do.  See README.md beside this file.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>

#include "astro.h"

namespace dscsim {

// ---- Wire format -----------------------------------------------------------

inline constexpr std::int32_t kMaxCount = 99999;  // what five digits carry
inline constexpr std::size_t kCountsAnswerLength = 14;
inline constexpr std::size_t kStatusAnswerLength = 4;
inline constexpr unsigned char kXon = 0x11;
inline constexpr unsigned char kXoff = 0x13;

// The answer to "Q": sign, 5 digits, TAB, sign, 5 digits, CR.  Counts are
// clamped to +-kMaxCount.  Without signs each sign becomes a space, so the
// answer keeps its 14 bytes.
std::string FormatCounts(std::int32_t first, std::int32_t second, bool with_signs = true);
// The status answer for a value: printf("%03d\r"), cut to 4 bytes (values of
// four digits or more lose the CR).
std::string FormatStatus(int value);
bool IsFlowControlByte(unsigned char c);

// ---- Telescope model -------------------------------------------------------

// One encoder axis.  A true axis angle t (radians) reads
//   counts = round((t + zero_offset) * (1 + scale_error) * resolution / 2pi)
// clamped to what five digits carry.  A negative resolution counts the other
// way.  A counter that wraps at its resolution keeps its counts within
// (-|resolution|/2, |resolution|/2] by whole turns: with a scale error the
// raw counts of one turn span (1 + scale_error) turns' worth, so a thin arc
// at its seam, half a turn from its zero and scale_error of a turn wide,
// reads counts that also stand for places on the other side of the seam.
// A counter that counts on past a turn keeps counting (t is then the whole
// angle turned since connecting, more than half a turn included).
struct AxisModel {
  std::int32_t resolution = 4096;
  double scale_error = 0.0;
  double zero_offset = 0.0;
  bool counts_on = false;
};
std::int32_t CountsForAngle(double angle, const AxisModel& axis);

enum class Mount { kEquatorial = 0, kAltAzimuth = 1 };

// How the mount is built, as opposed to how its encoders count.  All angles
// are radians.  The mount's first axis is its azimuth axis (alt-azimuth) or
// its polar axis (equatorial); the second axis turns on the first; the tube
// turns on the second.
//   alt-azimuth: the base is tilted: its azimuth axis leans `tilt` from the
//     zenith towards the real-world azimuth `tilt_azimuth`;
//   equatorial: its polar axis stands `polar_altitude` higher than the
//     celestial pole and `polar_azimuth` east of it;
//   both: the second axis is `non_perpendicularity` off square with the
//     first, and the tube `collimation` off square with the second axis.
struct MountGeometry {
  double tilt = 0.0;
  double tilt_azimuth = 0.0;
  double polar_altitude = 0.0;
  double polar_azimuth = 0.0;
  double non_perpendicularity = 0.0;
  double collimation = 0.0;
};

// The telescope on the sky.  When the plug-in connected (connect_julian_date)
// the telescope pointed at the reference point (ref_ra, ref_dec) and both
// encoders read 0.  Sky positions are apparent places of the date (the
// host's sky frame).  An equatorial mount's polar axis stands on the pole of
// the date (unless `geometry` moves it) and its circles read hour angle (from
// the apparent sidereal time) and declination; an alt-azimuth mount's read
// the observed place, refracted by `atmosphere`.
struct SkyModel {
  astro::Site site{51.4769 * astro::kDegree, 0.0};
  Mount mount = Mount::kEquatorial;
  astro::Atmosphere atmosphere = astro::kStandardAtmosphere;
  double ref_ra = 0.665777659788;  // the plug-in's default reference point
  double ref_dec = 1.55817662667;
  double connect_julian_date = astro::kJ2000;
  // The plug-in's profile defaults: 4096 and 8192 counts a turn.
  AxisModel axis1{4096};
  AxisModel axis2{8192};
  MountGeometry geometry;
};

// The true angles the two axes have turned through since connecting, with
// the telescope aimed at (ra, dec) at `julian_date`: the axis angles that
// aim the tube there (MountAxes) less those that aimed it at the reference
// point at connect, the first in [-pi, pi).  On a mount without errors:
//   equatorial:    axis 1 = hour angle of the reference at connect
//                           - hour angle of the target now
//                  axis 2 = dec - ref_dec
//   alt-azimuth:   axis 1 = azimuth(target, now) - azimuth(reference, connect),
//                           real-world observed azimuths
//                  axis 2 = altitude(target, now) - altitude(reference, connect)
struct AxisAngles {
  double first = 0.0;
  double second = 0.0;
};
AxisAngles TrueAxisAngles(const SkyModel& model, double ra, double dec, double julian_date);

// The mount's base frame: the horizon (x north, y east, z zenith) for an
// alt-azimuth mount; for an equatorial one the frame that turns with the
// Earth (x on the equator at hour angle 0, y at hour angle -6h, z the
// celestial pole of the date).  The direction of a sky position in it: the
// observed (refracted) place on the horizon, the hour angle and declination
// of the apparent place on the equator.
astro::Vector BaseDirection(const SkyModel& model, double ra, double dec, double julian_date);
// Where the tube points in the base frame with the axes at these angles: the
// mount's forward geometry, axes turned by the errors of model.geometry.
astro::Vector TubeDirection(const SkyModel& model, double first, double second);
// The axis angles that aim the tube along a base-frame direction: the exact
// inverse of TubeDirection (the second axis within +-pi/2; a direction the
// tube cannot reach gets the nearest it can).
AxisAngles MountAxes(const SkyModel& model, const astro::Vector& base);
// A catalogue star's apparent place at a time: where the model aims for it.
astro::Equatorial ApparentPlace(const astro::Star& star, double julian_date);
// The counts a real box would give with the telescope aimed there.
// `turned`, when given, holds the axis angles of the last aim (0, 0 at
// connect) and gets the new ones: a counter that counts on follows the
// telescope the short way round from there.
std::pair<std::int32_t, std::int32_t> CountsFor(const SkyModel& model, double ra, double dec,
                                                double julian_date, AxisAngles* turned = nullptr);

// ---- The box ---------------------------------------------------------------

struct Faults {
  bool silent = false;      // answer nothing at all
  int short_length = -1;    // >= 0: send only the first k bytes of each answer
  bool garbage = false;     // random bytes of the right length (never XON/XOFF, Q or P)
  bool no_signs = false;    // counts without their sign characters (spaces instead)
  int byte_gap_ms = 0;      // extra time between two bytes of an answer
  int answer_delay_ms = 0;  // extra time before the first byte of an answer
};

struct Stats {
  std::uint64_t bytes_received = 0;
  std::uint64_t q_received = 0;
  std::uint64_t p_received = 0;
  std::uint64_t q_answered = 0;  // answers of which at least one byte left
  std::uint64_t p_answered = 0;
  std::uint64_t bytes_sent = 0;
  // steady_clock times: when the last byte of the last answer left, and when
  // the last query arrived.
  std::chrono::steady_clock::time_point last_answer_end{};
  std::chrono::steady_clock::time_point last_query{};
};

class Box {
 public:
  struct Options {
    bool pacing = true;
    int baud = 9600;         // 10 bits a byte: 8N1 with its start and stop bit
    std::uint32_t seed = 1;  // for the garbage fault
  };

  Box();
  explicit Box(const Options& options);
  ~Box();
  Box(const Box&) = delete;
  Box& operator=(const Box&) = delete;

  // Opens the pseudo-terminal pair and starts answering.  False (with a
  // reason in *error) when the pair cannot be had.
  bool Start(std::string* error = nullptr);
  // Stops answering and closes the pair; safe to call twice.
  void Stop();
  bool running() const;

  // The slave device, e.g. "/dev/pts/7"; empty while unplugged or stopped.
  std::string SlavePath() const;

  // ---- What the box answers
  void SetCounts(std::int32_t first, std::int32_t second);  // clamped to +-kMaxCount
  std::pair<std::int32_t, std::int32_t> Counts() const;
  void SetStatus(int value);                    // sent as FormatStatus(value)
  bool SetStatusBytes(std::string_view bytes);  // exactly 4 bytes, no XON/XOFF
  std::string StatusBytes() const;
  // Answers "Q" with exactly these bytes (any length up to 4096, no XON or
  // XOFF) in place of the formatted counts, until ClearCountsBytes or
  // SetCounts; for answers a working box never gives (extra bytes, CR LF,
  // NUL, overlong).  The faults still apply.
  bool SetCountsBytes(std::string_view bytes);
  void ClearCountsBytes();
  // Writes bytes on the line at once, unpaced, XON and XOFF included: flow
  // control from the box.  False when unplugged or not all were written.
  bool SendNow(std::string_view bytes);

  // ---- Line pace
  void SetPacing(bool on);
  bool pacing() const;
  std::chrono::nanoseconds ByteTime() const;  // of one byte at the configured baud rate

  // ---- Faults: each takes effect from the next answer on
  void SetFaults(const Faults& faults);
  Faults GetFaults() const;
  void ClearFaults();
  void SetSilent(bool on);
  void SetShortAnswer(int length);  // < 0: whole answers again
  void SetGarbage(bool on);
  void SetNoSigns(bool on);
  void SetByteGap(int milliseconds);
  void SetAnswerDelay(int milliseconds);

  // Pulls the cable: closes the master side so the other side sees a hang-up.
  // False when the box was not plugged in.
  bool Unplug();
  // Plugs a new cable in: opens a new pair (with a new slave path).  True when
  // the box is plugged in afterwards.
  bool Replug(std::string* error = nullptr);
  bool plugged() const;

  // ---- Telescope model
  void SetSkyModel(const SkyModel& model);
  SkyModel GetSkyModel() const;
  void SetConnectTime(double julian_date);
  // Sets the counts a real box would give with the telescope aimed at
  // (ra, dec) at `julian_date`, and returns them.
  std::pair<std::int32_t, std::int32_t> PointAt(double ra, double dec, double julian_date);
  // Sets the counts for true axis angles (radians), through the axis models.
  std::pair<std::int32_t, std::int32_t> PointAxes(double first, double second);

  // Called on the answering thread before each answer is formed, without the
  // box's lock held (it may call the box): for what the answer must reflect,
  // such as a port opened just before the query.
  void SetBeforeAnswer(std::function<void()> hook);

  // ---- Counters
  Stats GetStats() const;
  void ResetStats();
  // Waits until `done(stats)` holds or the time-out passes; true if it held.
  bool WaitFor(const std::function<bool(const Stats&)>& done, std::chrono::milliseconds timeout);

 private:
  enum class Request { kNone, kUnplug, kReplug, kStop };

  bool OpenPair(std::string* error);  // the caller owns the fds then
  void ClosePair();
  bool IssueRequest(Request request, std::string* error);
  void Run();
  void HandleRequest();
  void HandleByte(unsigned char byte, std::chrono::steady_clock::time_point arrival);
  void Answer(bool counts, std::chrono::steady_clock::time_point arrival);
  bool SleepUntil(std::chrono::steady_clock::time_point deadline);

  Options options_;
  mutable std::mutex mutex_;  // every member below, unless noted
  std::condition_variable changed_;
  std::mutex control_mutex_;  // one controlling call with a request at a time

  // Owned by the answering thread while it runs, by the controller otherwise.
  int master_ = -1;
  int slave_keep_ = -1;  // keeps the pair from hanging up while nobody has the slave open
  int wake_read_ = -1;
  int wake_write_ = -1;
  std::atomic<bool> wake_pending_{false};  // a request waits for the answering thread
  std::thread thread_;
  std::uint32_t rng_state_ = 1;                        // the answering thread's
  std::chrono::steady_clock::time_point chain_end_{};  // the answering thread's

  bool running_ = false;
  std::string slave_path_;
  std::int32_t counts_[2] = {0, 0};
  std::string status_ = "000\r";
  std::function<void()> before_answer_;
  bool counts_raw_set_ = false;
  std::string counts_raw_;
  bool pacing_ = true;
  Faults faults_;
  SkyModel model_;
  AxisAngles turned_;  // the axis angles of the last aim, for counters that count on
  Stats stats_;
  Request request_ = Request::kNone;
  bool request_done_ = false;
  bool request_ok_ = false;
  std::string request_error_;
};

}  // namespace dscsim
