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

}  // namespace ctl::msg
