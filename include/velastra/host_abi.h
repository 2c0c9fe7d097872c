/*
 * velastra Linux host ABI, version 1.
 *
 * The contract between a Linux host program and the telescope controller
 * plug-in Controller.plug.  The host loads the plug-in with
 * dlopen(path, RTLD_NOW | RTLD_LOCAL), finds DoOperation with dlsym and
 * exports every function declared below from its executable (-rdynamic,
 * CMake ENABLE_EXPORTS) so that the plug-in's undefined references resolve
 * against it.  See docs/host-abi.md for the full description.
 *
 * Plain C; no operating-system headers.  All angles are radians.
 */
#ifndef VELASTRA_HOST_ABI_H
#define VELASTRA_HOST_ABI_H

#include <stdint.h>

#define VELASTRA_HOST_ABI_VERSION 1

#ifdef __cplusplus
extern "C" {
#endif

/* ---- The plug-in's only export ---------------------------------------- */

/* selector: operation 0..39 (others ignored); parameter: a block address or,
 * for operations 2 and 38, a window handle.  Always returns 0. */
typedef int16_t (*vl_DoOperationFn)(uint32_t selector, uintptr_t parameter);
#define VELASTRA_ENTRY_POINT "DoOperation"

/* ---- Host functions (exported by the host) ---------------------------- */

/* Also used as a spherical triple: longitude, latitude, radius. */
typedef struct vl_Vector {
  double x, y, z;
} vl_Vector;

/* Frame codes of vl_CoordinateConversion. */
#define VL_FRAME_HORIZON 2
#define VL_FRAME_SKY 6

void vl_RealWorldAzimuth2Mathematical(double azimuth, double* result);
void vl_Mathematical2RealWorldAzimuth(double longitude, double* result);
void vl_SphericalToXYZ(double longitude, double latitude, double radius, vl_Vector* result);
void vl_CoordinateConversion(int32_t context, int32_t from_frame, int32_t to_frame, vl_Vector v,
                             vl_Vector* result);
void vl_XYZToSpherical(vl_Vector v, vl_Vector* result);

/* ---- Window system (exported by the host) ----------------------------- */

typedef uintptr_t ws_Handle; /* 0 means none */

/* Message box styles and results. */
#define WS_MB_OK 0x0u
#define WS_MB_ICONERROR 0x10u
#define WS_MB_ICONWARNING 0x30u
#define WS_MB_ICONINFORMATION 0x40u
#define WS_MB_SYSTEMMODAL 0x1000u
#define WS_IDOK 1
#define WS_IDCANCEL 2

/* Menu flags. */
#define WS_MF_STRING 0x0u
#define WS_MF_SEPARATOR 0x800u

/* Stock objects. */
#define WS_WHITE_PEN 6

/* Dialog messages and button states. */
#define WS_WM_INITDIALOG 0x0110u
#define WS_WM_COMMAND 0x0111u
#define WS_BST_UNCHECKED 0u
#define WS_BST_CHECKED 1u

/* Colours are COLORREF values: 0x00BBGGRR. */
#define WS_RGB(r, g, b) ((uint32_t)(((uint32_t)(r)) | ((uint32_t)(g) << 8) | ((uint32_t)(b) << 16)))

int32_t ws_MessageBox(ws_Handle owner, const char* text, const char* caption, uint32_t style);
ws_Handle ws_GetFocus(void);
int32_t ws_AppendMenu(ws_Handle menu, uint32_t flags, uint32_t id, const char* text);
int32_t ws_IsWindowVisible(ws_Handle window);

ws_Handle ws_GetDC(ws_Handle window); /* 0: no drawing context */
int32_t ws_ReleaseDC(ws_Handle window, ws_Handle dc);
ws_Handle ws_CreateFont(int32_t height, int32_t average_width, const char* face);
ws_Handle ws_GetStockObject(int32_t which);
ws_Handle ws_SelectObject(ws_Handle dc, ws_Handle object);
int32_t ws_DeleteObject(ws_Handle object);
uint32_t ws_SetBkColor(ws_Handle dc, uint32_t colour);
uint32_t ws_SetTextColor(ws_Handle dc, uint32_t colour);
int32_t ws_MoveTo(ws_Handle dc, int32_t x, int32_t y);
int32_t ws_LineTo(ws_Handle dc, int32_t x, int32_t y);
int32_t ws_TextOut(ws_Handle dc, int32_t x, int32_t y, const char* text, int32_t length);

/* Dialog control kinds. */
#define WS_CONTROL_PUSHBUTTON 1
#define WS_CONTROL_DEFPUSHBUTTON 2
#define WS_CONTROL_EDIT 3
#define WS_CONTROL_AUTOCHECKBOX 4
#define WS_CONTROL_AUTORADIOBUTTON 5
#define WS_CONTROL_STATIC 6
#define WS_CONTROL_GROUPBOX 7

typedef intptr_t (*ws_DialogProc)(ws_Handle dialog, uint32_t message, uintptr_t wparam,
                                  intptr_t lparam);

typedef struct ws_DialogControl {
  uint16_t id;
  uint16_t kind;
  const char* text;
  int16_t x, y, width, height; /* dialog units */
  uint32_t style;              /* Win32 WS_/ES_/BS_ bits */
} ws_DialogControl;

typedef struct ws_DialogTemplate {
  uint16_t id;
  const char* caption;
  const char* font;
  uint16_t point_size;
  int16_t width, height;
  uint32_t style;
  uint16_t count;
  const ws_DialogControl* controls;
} ws_DialogTemplate;

intptr_t ws_DialogBox(const ws_DialogTemplate* dialog, ws_Handle owner, ws_DialogProc proc);
uint32_t ws_GetLastError(void);
int32_t ws_EndDialog(ws_Handle dialog, intptr_t result);
int32_t ws_SetDlgItemText(ws_Handle dialog, int32_t id, const char* text);
uint32_t ws_GetDlgItemText(ws_Handle dialog, int32_t id, char* buffer, int32_t size);
int32_t ws_SetDlgItemInt(ws_Handle dialog, int32_t id, uint32_t value, int32_t is_signed);
uint32_t ws_GetDlgItemInt(ws_Handle dialog, int32_t id, int32_t* translated, int32_t is_signed);
int32_t ws_CheckDlgButton(ws_Handle dialog, int32_t id, uint32_t state);
int32_t ws_CheckRadioButton(ws_Handle dialog, int32_t first_id, int32_t last_id, int32_t check_id);
uint32_t ws_IsDlgButtonChecked(ws_Handle dialog, int32_t id);

#ifdef __cplusplus
}
#endif

#endif /* VELASTRA_HOST_ABI_H */
