/*
 * Where the plug-in keeps its files on Linux, the configuration folder, by
 * one rule for the plug-in and every host:
 *
 *   VELASTRA_CONFIG_DIR                    when set and not empty
 *   $XDG_CONFIG_HOME/velastra              when XDG_CONFIG_HOME is an absolute path
 *   $HOME/.config/velastra                 otherwise
 *
 * A relative XDG_CONFIG_HOME is invalid and ignored, as the XDG base
 * directory rules ask.  The folder holds the profile (win.ini) and the
 * ports/ folder of links that name the serial devices.
 *
 * Plain C; no operating-system headers.
 */
#ifndef VELASTRA_CONFIG_DIR_H
#define VELASTRA_CONFIG_DIR_H

#include <errno.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Writes the folder's path (without a trailing '/') into `out`, zero-
 * terminated.  1 on success; 0 with errno set to ENOENT when no folder can be
 * named (no HOME), or to ENAMETOOLONG when the path does not fit in `size`
 * bytes. */
static inline int vl_ConfigDirectory(char* out, size_t size) {
  int length = -1;
  const char* own = getenv("VELASTRA_CONFIG_DIR");
  const char* xdg = getenv("XDG_CONFIG_HOME");
  const char* home = getenv("HOME");
  if (out == NULL || size == 0) return 0;
  out[0] = '\0';
  if (own != NULL && own[0] != '\0') {
    length = snprintf(out, size, "%s", own);
  } else if (xdg != NULL && xdg[0] == '/') {
    length = snprintf(out, size, "%s/velastra", xdg);
  } else if (home != NULL && home[0] != '\0') {
    length = snprintf(out, size, "%s/.config/velastra", home);
  }
  if (length <= 0 || (size_t)length >= size) {
    out[0] = '\0';
    errno = length < 0 ? ENOENT : ENAMETOOLONG;
    return 0;
  }
  /* "/etc/velastra/" and "/etc/velastra" name the same folder. */
  while (length > 1 && out[length - 1] == '/') out[--length] = '\0';
  return 1;
}

#ifdef __cplusplus
}
#endif

#endif /* VELASTRA_CONFIG_DIR_H */
