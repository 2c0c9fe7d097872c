// The seam between the portable core and the operating system / window
// system.  The core calls only these functions; src/platform/posix implements
// them on Linux (window system through the host's ws_ functions), and
// src/platform/win32 with the Win32 API.  Names, arguments and flag values
// follow the Win32 calls they stand for.
#pragma once

#include <velastra/host_abi.h>

#include <cstdint>

namespace plat {

using Handle = std::uintptr_t;
// The invalid-handle value (all bits set), also the "never set" marker of
// the module instance and the debug window handle.
inline constexpr Handle kInvalidHandle = ~Handle{0};

// ---- Serial communications -------------------------------------------------

// What BuildCommDCB fills and SetCommState applies; only the fields the
// plug-in reads or changes are named, the rest is the platform's own.
struct LineSettings {
  std::uint32_t baud = 0;
  std::uint8_t data_bits = 8;
  char parity = 'N';           // 'N', 'E', 'O', 'M', 'S'
  std::uint8_t stop_bits = 1;  // one or two
  bool out_x = false;          // XON/XOFF on output
  bool in_x = false;           // XON/XOFF on input
  bool outx_cts_flow = false;
  bool outx_dsr_flow = false;
  bool dtr_enable = false;  // DTR_CONTROL_ENABLE
  bool rts_enable = false;  // RTS_CONTROL_ENABLE
};

// COMMTIMEOUTS, milliseconds.
struct Timeouts {
  std::uint32_t read_interval = 0;
  std::uint32_t read_total_multiplier = 0;
  std::uint32_t read_total_constant = 0;
  std::uint32_t write_total_multiplier = 0;
  std::uint32_t write_total_constant = 0;
};

inline constexpr std::uint32_t kPurgeTxAbort = 0x0001;
inline constexpr std::uint32_t kPurgeRxAbort = 0x0002;
inline constexpr std::uint32_t kPurgeTxClear = 0x0004;
inline constexpr std::uint32_t kPurgeRxClear = 0x0008;

// CreateFileA(name, GENERIC_READ|GENERIC_WRITE, 0, NULL, OPEN_EXISTING, ...):
// exclusive, blocking use; kInvalidHandle on failure.
Handle SerialOpen(const char* port_name);
// BuildCommDCBA: parses a definition such as "baud=9600 parity=N data=8 stop=1".
bool SerialBuildLineSettings(const char* definition, LineSettings& settings);
bool SerialSetLineSettings(Handle port, const LineSettings& settings);  // SetCommState
bool SerialSetTimeouts(Handle port, const Timeouts& timeouts);          // SetCommTimeouts
bool SerialPurge(Handle port, std::uint32_t flags);                     // PurgeComm
bool SerialTransmitChar(Handle port, char c);                           // TransmitCommChar
// ReadFile: true with the count of bytes that arrived before the time-outs
// ran out (possibly fewer than asked); false, with a count of 0, when the
// read itself failed.
bool SerialRead(Handle port, void* buffer, std::uint32_t size, std::uint32_t* bytes_read);
bool SerialClose(Handle port);  // CloseHandle
// ClearCommError: clears a communications error that the port latched (a
// framing error, an overrun).  A port that stops on errors refuses every
// send and read until this is called; the link calls it after each failed
// send or read, so that the next query can succeed.
bool SerialClearErrors(Handle port);

// ---- User profile (win.ini) ------------------------------------------------

// GetProfileStringA: the key's text, or the default when the key or section is
// missing, cut to size - 1 characters and zero-terminated.
void ProfileRead(const char* section, const char* key, const char* default_text, char* destination,
                 std::uint32_t size);
// Why a profile write failed, as texts for the user: the file it was to
// change and the system's reason (GetLastError's text on Windows, strerror's
// on Linux).
struct ProfileWriteFailure {
  char file[260] = {};
  char reason[256] = {};
};
// WriteProfileStringA: creates or replaces the key.  A failed write changes
// nothing and returns false; `failure`, when given, then says why.
bool ProfileWrite(const char* section, const char* key, const char* text,
                  ProfileWriteFailure* failure = nullptr);

// ---- Time ------------------------------------------------------------------

// GetTickCount: ms since system start, wraps at 2^32
std::uint32_t TickCount();
// Wall-clock milliseconds since the library was loaded.
std::uint64_t MillisecondsSinceLoad();

// ---- Module and memory -----------------------------------------------------

Handle ModuleHandleByName(const char* file_name);  // GetModuleHandleA
// LoadStringA: copies string resource `id` into buffer (at most size - 1
// characters and a zero); returns the length, 0 when there is no such string.
int LoadStringResource(Handle module, std::uint32_t id, char* buffer, int size);
// Zeroed memory that lives as long as the library, at an address that fits
// in 32 bits (host records carry addresses in 4 bytes).  nullptr on failure.
void* AllocateLowMemory(std::uint32_t size);

// ---- Window system ---------------------------------------------------------

// The Win32 values, as the Linux host ABI writes them once for every party.
inline constexpr std::uint32_t kMbOk = WS_MB_OK;
inline constexpr std::uint32_t kMbIconError = WS_MB_ICONERROR;
inline constexpr std::uint32_t kMbIconWarning = WS_MB_ICONWARNING;
inline constexpr std::uint32_t kMbIconInformation = WS_MB_ICONINFORMATION;
inline constexpr std::uint32_t kMbSystemModal = WS_MB_SYSTEMMODAL;

inline constexpr std::uint32_t kMfString = WS_MF_STRING;
inline constexpr std::uint32_t kMfSeparator = WS_MF_SEPARATOR;

inline constexpr int kWhitePen = WS_WHITE_PEN;

inline constexpr std::uint32_t kWmInitDialog = WS_WM_INITDIALOG;
inline constexpr std::uint32_t kWmCommand = WS_WM_COMMAND;
inline constexpr int kIdOk = WS_IDOK;
inline constexpr int kIdCancel = WS_IDCANCEL;
inline constexpr std::uint32_t kBstUnchecked = WS_BST_UNCHECKED;
inline constexpr std::uint32_t kBstChecked = WS_BST_CHECKED;

constexpr std::uint32_t Rgb(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
  return r | (g << 8) | (b << 16);
}

// Calls whose outcome the plug-in never acts on (a menu item, a line drawn,
// a dialog control set) return nothing.
int MessageBox(Handle owner, const char* text, const char* caption, std::uint32_t style);
Handle GetFocus();
void AppendMenu(Handle menu, std::uint32_t flags, std::uint32_t id, const char* text);
bool IsWindowVisible(Handle window);

Handle GetDC(Handle window);  // 0: no drawing context
void ReleaseDC(Handle window, Handle dc);
// CreateFontIndirectA with the given height, average width and face; every
// other attribute 0.  0 on failure.
Handle CreateFont(std::int32_t height, std::int32_t average_width, const char* face);
Handle GetStockObject(int which);
Handle SelectObject(Handle dc, Handle object);
void DeleteObject(Handle object);
std::uint32_t SetBkColor(Handle dc, std::uint32_t colour);
std::uint32_t SetTextColor(Handle dc, std::uint32_t colour);
void MoveTo(Handle dc, int x, int y);
void LineTo(Handle dc, int x, int y);
bool TextOut(Handle dc, int x, int y, const char* text, int length);

// Dialog templates: the same shape as the Linux ABI's ws_DialogTemplate and
// what a Win32 DIALOG resource holds.
enum class ControlKind : std::uint16_t {
  PushButton = 1,
  DefPushButton = 2,
  Edit = 3,
  AutoCheckBox = 4,
  AutoRadioButton = 5,
  Static = 6,
  GroupBox = 7,
};

struct DialogControl {
  std::uint16_t id;
  ControlKind kind;
  const char* text;
  std::int16_t x, y, width, height;
  std::uint32_t style;
};

struct DialogTemplate {
  std::uint16_t id;
  const char* caption;
  const char* font;
  std::uint16_t point_size;
  std::int16_t width, height;
  std::uint32_t style;
  std::uint16_t count;
  const DialogControl* controls;
};

using DialogProc = std::intptr_t (*)(Handle dialog, std::uint32_t message, std::uintptr_t wparam,
                                     std::intptr_t lparam);

// DialogBoxParamA on dialog resource `resource_id` of `module`: the value given
// to EndDialog, or -1 when the dialog could not be created.
std::intptr_t DialogBox(Handle module, std::uint16_t resource_id, Handle owner, DialogProc proc);
std::uint32_t GetLastError();
void EndDialog(Handle dialog, std::intptr_t result);
void SetDlgItemText(Handle dialog, int id, const char* text);
std::uint32_t GetDlgItemText(Handle dialog, int id, char* buffer, int size);
void SetDlgItemInt(Handle dialog, int id, std::uint32_t value, bool is_signed);
std::uint32_t GetDlgItemInt(Handle dialog, int id, bool* translated, bool is_signed);
void CheckDlgButton(Handle dialog, int id, std::uint32_t state);
void CheckRadioButton(Handle dialog, int first_id, int last_id, int check_id);
std::uint32_t IsDlgButtonChecked(Handle dialog, int id);

// ---- The module's resources where the platform has no resource section -----

// A Windows module carries its string table and dialog templates in its
// resource section, compiled from the generated .rc, and LoadStringResource
// and DialogBox read them there.  A Linux module has none: the library's
// entry hands the platform layer the tables once, when the library is loaded;
// until then no string and no dialog is found.
struct ModuleResources {
  const char* (*find_string)(std::uint32_t id);            // nullptr: no such string
  const DialogTemplate* (*find_dialog)(std::uint16_t id);  // nullptr: no such dialog
};
void UseModuleResources(const ModuleResources& resources);

}  // namespace plat
