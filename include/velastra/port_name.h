/*
 * Serial port names, by one rule for the plug-in and every host on Linux.
 *
 * A port is named as on Windows, "COMn", in any case, n from 1 to 256
 * without leading zeros.  The configuration folder's ports/<name> link
 * names its device; a "COMn" without a link is /dev/ttyS<n-1>.  The profile
 * keeps the first four characters of a port name, so the names a profile
 * can hold are COM1 to COM9 (the dialog offers COM1 to COM4).
 *
 * Plain C; no operating-system headers.
 */
#ifndef VELASTRA_PORT_NAME_H
#define VELASTRA_PORT_NAME_H

#include <stddef.h>
#include <stdio.h>
#include <string.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The characters of a port name the profile keeps. */
#define VL_STORED_PORT_NAME 4
/* The ports the configuration dialog offers: COM1 to COM4. */
#define VL_DIALOG_PORTS 4
/* The largest n of a "COMn". */
#define VL_LAST_COM 256

/* n of a "COMn" port name; 0 when `name` is no such name. */
static inline unsigned vl_ComNumber(const char* name) {
  unsigned n = 0;
  int i;
  if (name == 0) return 0;
  if ((name[0] | 0x20) != 'c' || (name[1] | 0x20) != 'o' || (name[2] | 0x20) != 'm') return 0;
  if (name[3] < '1' || name[3] > '9') return 0;
  for (i = 3; name[i] != '\0'; ++i) {
    if (i >= 6 || name[i] < '0' || name[i] > '9') return 0;
    n = n * 10 + (unsigned)(name[i] - '0');
  }
  return n <= VL_LAST_COM ? n : 0;
}

/* n of a "COMn" that a profile can hold (COM1 to COM9); 0 otherwise. */
static inline unsigned vl_StoredComNumber(const char* name) {
  const unsigned n = vl_ComNumber(name);
  return n <= 9 ? n : 0;
}

/* Where the device of port `name` is looked for, in this order:
 *   VL_PORT_LINK: <folder>/ports/<name>, the link as the name is written;
 *   VL_PORT_COM_LINK: <folder>/ports/COMn, for a "COMn" written in another
 *            case ("com1" finds ports/COM1, as names ignore case on Windows);
 *   VL_PORT_DEVICE: /dev/ttyS<n-1>, the device of a "COMn" without a link.
 * The first link that exists names the device.  Writes place `which` into
 * `out` and returns 1; 0 when the name has no such place (the COMn places
 * of a name that is no "COMn", the COM link of a "COMn" written as such,
 * the links without a folder) or it does not fit in `size` bytes.  A name that
 * is empty, holds a '/' or "..", or is longer than `name_max` has none. */
enum { VL_PORT_LINK = 0, VL_PORT_COM_LINK = 1, VL_PORT_DEVICE = 2 };

static inline int vl_PortPlace(const char* folder, const char* name, size_t name_max, int which,
                               char* out, size_t size) {
  const unsigned n = vl_ComNumber(name);
  int length = -1;
  if (out == NULL || size == 0) return 0;
  out[0] = '\0';
  if (name == NULL || name[0] == '\0' || strchr(name, '/') != NULL || strstr(name, "..") != NULL ||
      strlen(name) > name_max) {
    return 0;
  }
  if (which == VL_PORT_LINK && folder != NULL) {
    length = snprintf(out, size, "%s/ports/%s", folder, name);
  } else if (which == VL_PORT_COM_LINK && folder != NULL && n != 0) {
    char canonical[16];
    snprintf(canonical, sizeof canonical, "COM%u", n);
    if (strcmp(canonical, name) == 0) return 0;
    length = snprintf(out, size, "%s/ports/%s", folder, canonical);
  } else if (which == VL_PORT_DEVICE && n != 0) {
    length = snprintf(out, size, "/dev/ttyS%u", n - 1);
  }
  if (length <= 0 || (size_t)length >= size) {
    out[0] = '\0';
    return 0;
  }
  return 1;
}

#ifdef __cplusplus
}
#endif

#endif
