// The texts the calibration list and the solver show, in one table.
#pragma once

namespace ctl::msg {

// Calibration list refusals (warning boxes).  "%s" stands for the object's
// name and is always filled as an argument, never used as a format.
inline constexpr const char* kListFullText = "Calibration list is full. Delete other objects.";
inline constexpr const char* kListFullCaption = "No More Objects";
inline constexpr const char* kDuplicateText =
    "Object %s is already on list. Select another object.";
inline constexpr const char* kDuplicateCaption = "Duplicate Object";
inline constexpr const char* kRemoveEmptyText = "Can't delete: calibration list is empty.";
inline constexpr const char* kRemoveNotFoundText = "Can't delete: object %s not on list.";
inline constexpr const char* kSightEmptyText = "Calibration list is empty. Add objects to list.";
inline constexpr const char* kSightNotFoundText =
    "Object %s is not on list. Sight another object or add first.";
inline constexpr const char* kEmptyListCaption = "Empty List";
inline constexpr const char* kNotFoundCaption = "Not Found";

// Solver.
inline constexpr const char* kUnsightedText = "Not all calibration objects have been sighted: %s";
inline constexpr const char* kCalibrationFailedCaption = "Calibration Failed";
inline constexpr const char* kResultText = "RA: %f\nRB: %f\nRC: %f\nDA: %f\nDB: %f\nDC: %f";
inline constexpr const char* kResultCaption = "Telecope Calibrated";
inline constexpr const char* kTooFewForLineText =
    "Insufficient calibration points selected. Cannot calibrate with less than 2.";
inline constexpr const char* kTooFewForQuadraticText =
    "Insufficient calibration points selected. Cannot calibrate with less than 3.";
inline constexpr const char* kMissingDataCaption = "Missing Calibration Data";

// A fit that cannot be solved: its determinant is zero, or it gives no
// finite coefficients.  "%s" names the axis.
inline constexpr const char* kSingularFitText =
    "Cannot fit the %s axis: the sighted objects' encoder angles on it are too few or too close "
    "together (two objects need two different angles, three or more need three). Sight objects "
    "spread further apart and calibrate again. The telescope calibration is unchanged.";
inline constexpr const char* kNotFiniteFitText =
    "Cannot fit the %s axis: the sighted positions give no finite result. Check the sighted "
    "objects and calibrate again. The telescope calibration is unchanged.";
inline constexpr const char* kAxisRightAscension = "right ascension";
inline constexpr const char* kAxisDeclination = "declination";
inline constexpr const char* kAxisAzimuth = "azimuth";
inline constexpr const char* kAxisAltitude = "altitude";

// ---- The mount model ("MOUNT") ---------------------------------------------

// The result box (caption kResultCaption): a head line with the number of
// objects, one line per term fitted, the terms left out, the residual.
inline constexpr const char* kMountResultHead = "Mount model fitted to %d sighted objects.\n";
inline constexpr const char* kMountTiltEquatorial = "Polar axis off the pole: %.1f'\n";
inline constexpr const char* kMountTiltAltAzimuth = "Base tilt: %.1f'\n";
inline constexpr const char* kMountZeroOffset = "Zero offset of the first axis: %.1f'\n";
inline constexpr const char* kMountTermAngle = "%s: %.1f'\n";
inline constexpr const char* kMountTermPercent = "%s: %.2f%%\n";
inline constexpr const char* kMountLeftOutHead = "Left out (not determined by these objects):";
inline constexpr const char* kMountLeftOutNone = "Left out: none";
inline constexpr const char* kMountResidual = "\nRMS residual of the sighted objects: %.1f'";
// Term names, in the order the terms are admitted.
inline constexpr const char* kMountTermNames[] = {
    "Index error of the second axis (Z3)",
    "Axes off square (Z1)",
    "Collimation (Z2)",
    "Scale error of the first counter",
    "Scale error of the second counter",
};

// Refusals (caption kCalibrationFailedCaption; the model in force stays).
inline constexpr const char* kMountUndeterminedText =
    "Cannot fit the mount model: the sighted objects lie too close together to fix the "
    "direction of the mount's axes. Sight objects spread further apart (at least a few "
    "degrees, ideally 60 degrees or more) and calibrate again. The telescope calibration is "
    "unchanged.";
inline constexpr const char* kMountNotFiniteText =
    "Cannot fit the mount model: the sighted positions give no finite result. Check the sighted "
    "objects and calibrate again. The telescope calibration is unchanged.";

// ---- Checks of a six-coefficient fit ("AXES") -------------------------------

// Warnings: the fit is in force (as before), but cannot belong to the
// configured encoders on this mount.  The caption, then one text per finding.
inline constexpr const char* kCheckCaption = "Check Calibration";
// Filled with the axis, the slope at both ends of the sighted span, and the
// span's ends in degrees of encoder angle.
inline constexpr const char* kBackwardsFitText =
    "The %s axis fit runs backwards over the sighted objects (slope %.3f to %.3f between %.1f and "
    "%.1f degrees of encoder angle): no encoder set up as configured counts that way, and "
    "positions away from these objects will be wrong. Check the Invert boxes and the "
    "resolutions in the configuration, that the telescope pointed at the reference point when "
    "connecting, and that each object was sighted on the right star; on a mount whose axes are "
    "not aligned, choose the mount model. Then calibrate again.";
inline constexpr const char* kTurnsBackText =
    "The %s axis fit turns back between the sighted objects (slope %.3f to %.3f between %.1f and "
    "%.1f degrees of encoder angle), so two encoder angles there give one place. Check the "
    "Invert boxes and the resolutions, the reference point, and that each object was sighted on "
    "the right star; sight objects spread further apart on that axis, or choose the mount model.";
inline constexpr const char* kSlopeFarText =
    "The %s axis fit has a slope of %.3f over the sighted span of %.1f degrees, where the "
    "configured encoder should give about 1 (within %.3f). Check the resolution and the Invert "
    "box of that axis, and the reference point; on a mount whose axes are not aligned, choose the "
    "mount model.";
inline constexpr const char* kResidualFarText =
    "%s lies %.1f' from its fitted place on the %s axis. Check that it was sighted on the right "
    "star, and the reference point; on a mount whose axes are not aligned, choose the mount "
    "model.";

}  // namespace ctl::msg
