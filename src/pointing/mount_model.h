// The mount model: where a real mount points for the angles its counters
// have turned through, and its least-squares fit from sighted objects.
//
// The mount's own frame has its first axis (polar or vertical) as z.  The
// counters' angles, each with its scale error, turn the tube about the first
// axis and about the second axis; the second axis is off square to the
// first by the non-perpendicularity, the tube off square to the second axis
// by the collimation, and the second axis's zero off by its index error.  A
// rotation takes the mount's frame into the fixed frame: the horizon frame
// of an alt-azimuth mount, or the sky frame turned back by the drift of an
// equatorial mount.  It takes up both zero offsets of the first axis, a
// tilted base and a misaligned polar axis.
#pragma once

#include "state/state.h"

namespace ctl {

// The terms beyond the rotation, in the order they are admitted.
enum MountTerm : int {
  kTermIndex = 0,         // Z3, second axis's index error
  kTermNonperpendicular,  // Z1, axes off square
  kTermCollimation,       // Z2, tube off square to the second axis
  kTermScale1,            // first counter's scale error
  kTermScale2,            // second counter's scale error
  kMountTermCount
};

// Where the mount points, in the fixed frame (longitude, latitude, radians),
// for the counters' turned angles (counts times radians per count) and the
// reference those counts start from.
void MountModelPosition(const MountModel& model, double ref1, double ref2, double turned1,
                        double turned2, double& longitude, double& latitude);

// One sighted object as the fit takes it: the counters' turned angles and
// reference, and the object's place in the fixed frame.
struct MountSighting {
  double ref1 = 0.0, ref2 = 0.0;
  double turned1 = 0.0, turned2 = 0.0;
  double longitude = 0.0, latitude = 0.0;
};

enum class MountFitOutcome {
  kFitted,
  kTooFew,        // fewer than two sightings
  kNotFinite,     // a sighting that is not a number
  kUndetermined,  // the sightings do not fix the rotation (too close together)
};

struct MountFit {
  MountFitOutcome outcome = MountFitOutcome::kTooFew;
  MountModel model;
  bool admitted[kMountTermCount] = {};
  double rms = 0.0;  // radians, over the sighted objects
};

// Fits the rotation and, in priority order, those terms that the sightings
// determine: each term's expected uncertainty at the counters' quantisation
// noise `noise` (radians, one count over √12) must stay within its limit.
MountFit FitMountModel(const MountSighting* sightings, int count, double noise);

}  // namespace ctl
