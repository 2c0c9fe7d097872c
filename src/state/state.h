// The plug-in state: every process-wide value of the plug-in, in one
// instance that lives as long as the library.  Plain records; each value is
// owned by one subsystem, as noted beside it.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace ctl {

inline constexpr double kPi = 3.141592653589793;
inline constexpr double kTwoPi = 2.0 * kPi;
inline constexpr double kHalfPi = kPi / 2.0;

// 16 bytes handed over by operation 34: a day number and 8 bytes carried
// along unread.
struct HostTimeRecord {
  double day_number = 0.0;
  std::uint8_t carried[8] = {};
};

// What one query of the box fills; owned by the caller.
// What one query of the box gives, step by step: the "Q" exchange gives the
// counts, the conversion the uncorrected angles and the encoder degrees, the
// "P" exchange the status.
struct EncoderRecord {
  double angle1 = 0.0;    // first axis (RA or azimuth), radians, uncorrected
  double angle2 = 0.0;    // second axis (Dec or altitude)
  double degrees1 = 0.0;  // the encoder's own degrees, for the debug page
  double degrees2 = 0.0;
  std::int16_t status = 0;  // box status, or the debug page's query-off or short-answer code
  double count1 = 0.0;      // the counts as the box sent them
  double count2 = 0.0;
};

enum MountType : std::int32_t { kEquatorial = 0, kAltAzimuth = 1 };

// Which pointing correction applies: the six coefficients, one curve per
// axis ("AXES"), or the mount model ("MOUNT").
enum PointModel : std::int32_t { kAxesModel = 0, kMountModel = 1 };

// The settings record.  Field order is part of the interface between the
// subsystems: it is passed whole to every encoder query.
struct Settings {
  std::int32_t ResRA = 4096;
  std::int32_t ResDec = 4096;
  double RefRA = 0.665777659788;
  double RefDec = 1.55817662667;
  double HorizonAz = 0.0;  // horizon reference point, set at each connect
  double HorizonAlt = 0.0;
  std::int32_t PCode = 1;
  std::int32_t MountType = kEquatorial;
  plat::Handle port = plat::kInvalidHandle;
  char CommPort[5] = {'C', 'O', 'M', '1', '\0'};
  std::int32_t PointModel = kAxesModel;
};

inline constexpr int kCalibrationCapacity = 8;

struct CalibrationEntry {
  char name[512] = {};
  std::int32_t sighted = 0;
  double catalogue1 = 0.0;  // RA, or azimuth once sighted on an alt-azimuth mount
  double catalogue2 = 0.0;  // Dec, or altitude
  double encoder1 = 0.0;    // uncorrected angles at the last sighting
  double encoder2 = 0.0;
  // Kept beside the positions above: the object's sky position as the host
  // gave it (a re-sighting on an alt-azimuth mount converts it afresh), and
  // the drift term of the last sighting on an equatorial mount.
  double sky1 = 0.0;
  double sky2 = 0.0;
  double drift = 0.0;
  // What the mount model needs of the sighting: the angles the counters had
  // turned through since connecting (counts times radians per count), and
  // the reference the counts were taken from.
  double turned1 = 0.0;
  double turned2 = 0.0;
  double ref1 = 0.0;
  double ref2 = 0.0;
  // 1 when the sighting came with the counts the box sent (the checks of
  // a six-coefficient fit against the configured encoders need them); 0
  // when only angles were handed in, the turned angles then taken from them.
  std::int32_t counted = 0;
};

struct CalibrationList {
  std::int32_t count = 0;
  CalibrationEntry entries[kCalibrationCapacity];
};

struct PointingCoefficients {
  double RA = 0.0, RB = 1.0, RC = 0.0;
  double DA = 0.0, DB = 1.0, DC = 0.0;
};

// Where each axis's pointing correction cuts the circle: an uncorrected angle
// is taken within [cut, cut + 2π] before the coefficients apply, the branch
// on which the calibration fitted them.  The initial cuts leave every angle
// as it stands.
struct PointingBranch {
  double cut1 = 0.0;
  double cut2 = -kPi;
  // 1 when the first axis was fitted on the angle its counter turned
  // through from the reference, as the box counted it, rather than on the
  // circle cut at cut1: the counts run on without a jump wherever the
  // counter's own wrap lies.
  std::int32_t counted1 = 0;
};

inline constexpr double RadiansPerCount(std::int32_t resolution) {
  return (2.0 * kPi) / static_cast<double>(resolution);
}

// A rotation, row by row.
using Matrix3 = double[3][3];

// The mount model: a rotation from the mount's axis frame into the sky frame
// (turned back by the drift, equatorial) or the horizon frame (alt-azimuth),
// the mechanical terms and the counters' scale errors.  The initial values
// leave the uncorrected angles as they are.
struct MountModel {
  Matrix3 rotation = {{1.0, 0.0, 0.0}, {0.0, 1.0, 0.0}, {0.0, 0.0, 1.0}};
  double nonperpendicularity = 0.0;  // Z1, radians
  double collimation = 0.0;          // Z2, radians
  double index = 0.0;                // Z3, second axis's index error, radians
  // The counters' scale errors: angle = (1 + scale) × counts.
  double scale1 = 0.0;
  double scale2 = 0.0;
};

struct PluginState {
  // Entry and dispatch.
  plat::Handle module_instance = plat::kInvalidHandle;
  plat::Handle debug_window = plat::kInvalidHandle;
  std::uint32_t host_context = 0;
  // Position reporting.
  std::uint8_t reporting = 0;
  std::uint32_t last_report_tick = 0;
  // The report records, plug-in owned, at 32-bit addresses.
  std::uint8_t* equatorial_report = nullptr;
  std::uint8_t* horizontal_report = nullptr;
  // Host time keeping.
  HostTimeRecord host_time;
  std::uint32_t tick_base = 0;
  // Serial connection.
  std::uint8_t connected = 0;
  // 1 while settings.port is a port this plug-in opened and has not closed
  // (connected, or left open by a failed configuration).
  std::uint8_t port_open = 0;
  HostTimeRecord connect_time;
  // Encoder query protocol.
  std::int16_t link_failures = 0;
  // Calibration.
  CalibrationList calibration;
  PointingCoefficients pointing;
  PointingBranch branch;
  MountModel mount;
  // Settings and derived constants.
  Settings settings;
  double RadPerCountRA = RadiansPerCount(4096);
  double RadPerCountDec = RadiansPerCount(4096);
  // Configuration dialog.
  char pending_port_digit = '1';
  // 1 after a dialog's OK whose settings the profile could not take, until a
  // save succeeds.
  std::uint8_t settings_unsaved = 0;
};

// The one process-wide instance.
PluginState& State();

// Back to the values of a freshly loaded library (tests use this between cases).
void ResetState();

// The loader's process-attach notification: keeps the module instance and
// sets up the plug-in-owned records.
void OnProcessAttach(plat::Handle module_instance);

}  // namespace ctl
