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

#ifdef __cplusplus
extern "C" {
#endif

/* The characters of a port name the profile keeps. */
#define VL_STORED_PORT_NAME 4
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

#ifdef __cplusplus
}
#endif

#endif
