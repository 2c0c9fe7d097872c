// The texts, formats and drawing attributes of the debug window page, in
// one table.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace ctl::msg {

// Failure boxes.
inline constexpr const char* kDebugNoDcText = "Can't get a DC for debug window";
inline constexpr const char* kDebugNoDcCaption = "BAD HDC";
inline constexpr const char* kDebugTextOutText = "Can't write to debug window";
inline constexpr const char* kDebugTextOutCaption = "TEXT OUT 0";

// Drawing attributes.
inline constexpr const char* kDebugFontFace = "Arial";
inline constexpr std::int32_t kDebugFontHeight = 12;
inline constexpr std::int32_t kDebugFontWidth = 5;
inline constexpr std::uint32_t kDebugBackground = plat::Rgb(64, 64, 64);
inline constexpr std::uint32_t kDebugWhite = plat::Rgb(255, 255, 255);
inline constexpr std::uint32_t kDebugYellow = plat::Rgb(255, 255, 0);
inline constexpr std::uint32_t kDebugRed = plat::Rgb(255, 0, 0);

// Texts and formats.
inline constexpr const char* kDebugHeader = " ENCODER DEG        RADIANS          COORDINATES";
inline constexpr const char* kDebugLabelRA = "RA";
inline constexpr const char* kDebugLabelDec = "DEC";
inline constexpr const char* kDebugLabelAz = "AZ";
inline constexpr const char* kDebugLabelAlt = "ALT";
inline constexpr const char* kDebugEncoderDegreesFormat = "%06.2f ";
inline constexpr const char* kDebugRadiansFormat = "%04.2f ";
inline constexpr const char* kDebugSexagesimalFormat = "%02d:%02d:%02d  ";
// The same for a value between -1 and 0 hours or degrees, whose leading
// field of 0 carries no sign.
inline constexpr const char* kDebugNegativeZeroSexagesimalFormat = "-00:%02d:%02d  ";
inline constexpr const char* kDebugTimeLapsedFormat = "TIME LAPSED: %05d";
inline constexpr const char* kDebugStatusLabel = "STATUS:";
inline constexpr const char* kDebugStatusOff = "OFF";
inline constexpr const char* kDebugStatusShort = "===";
inline constexpr const char* kDebugStatusFormat = "%03d   ";
inline constexpr const char* kDebugDayNumberFormat = "VLX TIME: %f";
inline constexpr const char* kDebugSightedMarker = "* ";
inline constexpr const char* kDebugUnsightedMarker = "  ";
inline constexpr const char* kDebugEntryFormat = "%d: %s     ";
inline constexpr const char* kDebugPlaceholderFormat = "%d: ---------";

// Status words with a text of their own.
inline constexpr std::int16_t kDebugStatusQueryOff = 255;
inline constexpr std::int16_t kDebugStatusShortAnswer = 2989;

}  // namespace ctl::msg
