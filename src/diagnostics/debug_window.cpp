// The debug window page: a fixed text page painted into the host's window
// after each position computation while that window is visible.  Nothing
// is erased first; every text paints its own dark grey background.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "diagnostics/diagnostics.h"
#include "diagnostics/messages.h"
#include "settings/settings.h"

namespace ctl {
namespace {

constexpr int kBufferSize = 512;
constexpr std::size_t kMaxNameLength = 255;

// Where things go, in client pixels.
constexpr int kHeaderX = 15, kHeaderY = 15;
constexpr int kLabelY = 25;
constexpr int kValueY = 40;
constexpr int kLineY = 65, kLineFromX = 10, kLineToX = 285;
constexpr int kStatusY = 55;
constexpr int kTimeX = 65;
constexpr int kStatusLabelX = 185, kStatusX = 240;
constexpr int kDayNumberX = 20, kDayNumberY = 187;
constexpr int kColumnX[] = {20, 65, 110, 145, 185, 240};
constexpr int kMarkerX = 20, kNameX = 25, kFirstCoordinateX = 185, kSecondCoordinateX = 240;
constexpr int kListY = 70, kListStep = 15;

bool Draw(plat::Handle dc, int x, int y, const char* text) {
  return plat::TextOut(dc, x, y, text, static_cast<int>(std::strlen(text)));
}

// "%02d:%02d:%02d  " of a split angle.  A value between -1 and 0 hours or
// degrees shows its sign as "-00": the offsets of a sighting are mostly that
// small, and their direction matters.
void FormatSexagesimal(char (&buffer)[kBufferSize], const Sexagesimal& value) {
  if (value.leading == 0 && value.negative) {
    std::snprintf(buffer, sizeof buffer, msg::kDebugNegativeZeroSexagesimalFormat, value.minutes,
                  value.seconds);
  } else {
    std::snprintf(buffer, sizeof buffer, msg::kDebugSexagesimalFormat, value.leading, value.minutes,
                  value.seconds);
  }
}

Sexagesimal SplitFirstAxis(double angle, bool altazimuth) {
  return altazimuth ? RadiansToDMS(angle) : RadiansToHMS(angle);
}

int WholeSecondsSinceLoad() {
  const std::uint64_t seconds = plat::MillisecondsSinceLoad() / 1000u;
  return static_cast<int>(std::min<std::uint64_t>(seconds, INT32_MAX));
}

void DrawCalibrationList(plat::Handle dc, bool altazimuth) {
  const CalibrationList& list = State().calibration;
  const int count = std::clamp(list.count, 0, kCalibrationCapacity);
  char text[kBufferSize];

  for (int i = 0; i < count; ++i) {
    const CalibrationEntry& entry = list.entries[i];
    const int y = kListY + kListStep * i;
    const bool sighted = entry.sighted == 1;
    Draw(dc, kMarkerX, y, sighted ? msg::kDebugSightedMarker : msg::kDebugUnsightedMarker);

    Sexagesimal first, second;
    if (sighted) {
      first = SplitFirstAxis(entry.encoder1 - entry.catalogue1, altazimuth);
      second = RadiansToDMS(entry.encoder2 - entry.catalogue2);
    } else {
      first = RadiansToHMS(entry.catalogue1);
      second = RadiansToDMS(entry.catalogue2);
    }
    // The name as a bounded, terminated copy: names come from counted
    // strings, at most 255 characters.
    char name[kMaxNameLength + 1];
    const void* found = std::memchr(entry.name, '\0', kMaxNameLength);
    const std::size_t length =
        found != nullptr ? static_cast<std::size_t>(static_cast<const char*>(found) - entry.name)
                         : kMaxNameLength;
    std::memcpy(name, entry.name, length);
    name[length] = '\0';
    std::snprintf(text, sizeof text, msg::kDebugEntryFormat, i + 1, name);
    Draw(dc, kNameX, y, text);
    FormatSexagesimal(text, first);
    Draw(dc, kFirstCoordinateX, y, text);
    FormatSexagesimal(text, second);
    Draw(dc, kSecondCoordinateX, y, text);
  }
  for (int i = count; i < kCalibrationCapacity; ++i) {
    const int y = kListY + kListStep * i;
    Draw(dc, kMarkerX, y, msg::kDebugUnsightedMarker);
    std::snprintf(text, sizeof text, msg::kDebugPlaceholderFormat, i + 1);
    Draw(dc, kNameX, y, text);
  }
}

}  // namespace

void FeedDebugWindow(const EncoderRecord& record) {
  const plat::Handle window = State().debug_window;
  if (plat::IsWindowVisible(window)) DrawDebugWindow(window, record);
}

void DrawDebugWindow(plat::Handle window, EncoderRecord record) {
  const PluginState& state = State();
  const bool altazimuth = state.settings.MountType == kAltAzimuth;
  char text[kBufferSize];

  // 1. The drawing context; without one every later step fails harmlessly.
  const plat::Handle dc = plat::GetDC(window);
  if (dc == 0) {
    plat::MessageBox(0, msg::kDebugNoDcText, msg::kDebugNoDcCaption,
                     plat::kMbSystemModal | plat::kMbIconError);
  }

  // 2. Font, colours and pen.
  const plat::Handle font =
      plat::CreateFont(msg::kDebugFontHeight, msg::kDebugFontWidth, msg::kDebugFontFace);
  plat::Handle previous_font = 0;
  if (font != 0) previous_font = plat::SelectObject(dc, font);
  plat::SetBkColor(dc, msg::kDebugBackground);
  plat::SetTextColor(dc, msg::kDebugWhite);
  const plat::Handle previous_pen = plat::SelectObject(dc, plat::GetStockObject(plat::kWhitePen));

  // 3. The rule under the current values.
  plat::MoveTo(dc, kLineFromX, kLineY);
  plat::LineTo(dc, kLineToX, kLineY);

  // 4. The header, the one text whose failure is reported.
  if (!Draw(dc, kHeaderX, kHeaderY, msg::kDebugHeader)) {
    plat::MessageBox(0, msg::kDebugTextOutText, msg::kDebugTextOutCaption,
                     plat::kMbSystemModal | plat::kMbIconError);
  }

  // 5. Column labels.
  const char* first_label = altazimuth ? msg::kDebugLabelAz : msg::kDebugLabelRA;
  const char* second_label = altazimuth ? msg::kDebugLabelAlt : msg::kDebugLabelDec;
  for (int column = 0; column < 6; ++column) {
    Draw(dc, kColumnX[column], kLabelY, column % 2 == 0 ? first_label : second_label);
  }

  // 6. The current values: encoder degrees, radians, sexagesimal.
  std::snprintf(text, sizeof text, msg::kDebugEncoderDegreesFormat, record.degrees1);
  Draw(dc, kColumnX[0], kValueY, text);
  std::snprintf(text, sizeof text, msg::kDebugEncoderDegreesFormat, record.degrees2);
  Draw(dc, kColumnX[1], kValueY, text);
  std::snprintf(text, sizeof text, msg::kDebugRadiansFormat, record.angle1);
  Draw(dc, kColumnX[2], kValueY, text);
  std::snprintf(text, sizeof text, msg::kDebugRadiansFormat, record.angle2);
  Draw(dc, kColumnX[3], kValueY, text);
  FormatSexagesimal(text, SplitFirstAxis(record.angle1, altazimuth));
  Draw(dc, kColumnX[4], kValueY, text);
  FormatSexagesimal(text, RadiansToDMS(record.angle2));
  Draw(dc, kColumnX[5], kValueY, text);

  // 7. Whole seconds since the library was loaded.
  std::snprintf(text, sizeof text, msg::kDebugTimeLapsedFormat, WholeSecondsSinceLoad());
  Draw(dc, kTimeX, kStatusY, text);

  // 8, 9. The box's status word.
  Draw(dc, kStatusLabelX, kStatusY, msg::kDebugStatusLabel);
  if (record.status == msg::kDebugStatusQueryOff) {
    plat::SetTextColor(dc, msg::kDebugYellow);
    Draw(dc, kStatusX, kStatusY, msg::kDebugStatusOff);
  } else if (record.status == msg::kDebugStatusShortAnswer) {
    plat::SetTextColor(dc, msg::kDebugRed);
    Draw(dc, kStatusX, kStatusY, msg::kDebugStatusShort);
  } else {
    std::snprintf(text, sizeof text, msg::kDebugStatusFormat, record.status);
    Draw(dc, kStatusX, kStatusY, text);
  }
  plat::SetTextColor(dc, msg::kDebugWhite);

  // 10. The host's day number.
  std::snprintf(text, sizeof text, msg::kDebugDayNumberFormat, state.host_time.day_number);
  Draw(dc, kDayNumberX, kDayNumberY, text);

  // 11, 12. The calibration list and the free places.
  DrawCalibrationList(dc, altazimuth);

  // 13. Put back what was there and release everything.
  if (dc != 0) {
    plat::SelectObject(dc, previous_pen);
    if (font != 0) plat::SelectObject(dc, previous_font);
    plat::ReleaseDC(window, dc);
  }
  if (font != 0) plat::DeleteObject(font);
}

}  // namespace ctl
