/*
 * The records a host and the telescope controller plug-in exchange through
 * DoOperation: the operation selectors, the menu item and command ids, the
 * report kinds, every record's size and the byte offsets of its fields, and
 * the little-endian reads and writes that every party uses on them.
 *
 * Records are plain byte arrays, little-endian, at fixed offsets; nothing is
 * ever laid over them as a struct.  Texts are counted strings: a length byte
 * and that many characters.  Angles are 8-byte doubles, in radians.
 *
 * Plain C; no operating-system headers.  docs/host-abi.md describes each
 * record in full.
 */
#ifndef VELASTRA_CONTRACT_H
#define VELASTRA_CONTRACT_H

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Operation selectors ---------------------------------------------- */

enum {
  VL_OP_REGISTER = 0,             /* registration record */
  VL_OP_SET_DEBUG_WINDOW = 2,     /* the parameter is the window handle */
  VL_OP_PERIODIC_UPDATE = 8,      /* periodic update block */
  VL_OP_BUILD_OBJECT_MENU = 14,   /* object menu block */
  VL_OP_OBJECT_MENU_COMMAND = 15, /* object menu block */
  VL_OP_TELESCOPE_OBJECT = 21,    /* telescope object record */
  VL_OP_MENU_ITEM_STATE = 22,     /* menu state query */
  VL_OP_CONFIGURE = 23,
  VL_OP_MESSAGE_500 = 24,
  VL_OP_MESSAGE_501 = 25,
  VL_OP_CONNECT = 26,
  VL_OP_DISCONNECT = 27,
  VL_OP_TOGGLE_REPORTING = 28,
  VL_OP_MESSAGE_504 = 29,
  VL_OP_CALIBRATE = 30,
  VL_OP_SET_TIME = 34,             /* host time record */
  VL_OP_SET_DEBUG_WINDOW_TOO = 38, /* as VL_OP_SET_DEBUG_WINDOW */
  VL_OP_SET_HOST_CONTEXT = 39,     /* host context record */
  VL_OP_LAST = 39                  /* selectors above it do nothing */
};

/* ---- Registration record (operation 0) -------------------------------- */

enum {
  VL_REGISTRATION_SIZE = 1024,  /* what a host hands over */
  VL_REGISTRATION_VERSION = 0,  /* int32: the host's version in, 4 out */
  VL_REGISTRATION_ACCEPTED = 4, /* uint8: 1 accepted, 0 refused */
  VL_REGISTRATION_TOP = 18,     /* uint16 each: the debug window's rectangle */
  VL_REGISTRATION_LEFT = 20,
  VL_REGISTRATION_BOTTOM = 22,
  VL_REGISTRATION_RIGHT = 24,
  VL_REGISTRATION_CAPTION = 33, /* counted string, 256 bytes: "&Telescope" */
  VL_REGISTRATION_TEXT2 = 289,  /* counted string, 256 bytes: empty */
  VL_REGISTRATION_TEXT3 = 545,  /* counted string, 256 bytes: empty */
  VL_INTERFACE_VERSION = 4,     /* what the plug-in speaks */
  VL_OLDEST_HOST_VERSION = 3    /* the oldest host version it accepts */
};

/* ---- Periodic update block (operation 8) and position report ---------- */

enum {
  VL_PERIODIC_SIZE = 64,
  VL_PERIODIC_KIND = 4,   /* int32: the report kind */
  VL_PERIODIC_REPORT = 8, /* uint32: the report's address, below 4 GiB */
  VL_REPORT_FIRST = 0,    /* double: RA, or the mathematical azimuth */
  VL_REPORT_SECOND = 8,   /* double: declination or altitude */
  VL_REPORT_FLAGS = 16,   /* 3 x uint8: 1, 0, 0 */
  VL_REPORT_SIZE = 24
};

/* Report kinds. */
enum {
  VL_KIND_HORIZONTAL = 2, /* azimuth (mathematical form) and altitude */
  VL_KIND_EQUATORIAL = 3, /* right ascension and declination */
  VL_KIND_NONE = 5        /* no report due */
};

/* ---- Telescope object record (operation 21) --------------------------- */

enum {
  VL_TELESCOPE_SIZE = 400,
  VL_TELESCOPE_VALID = 0,        /* uint8: 1 once filled */
  VL_TELESCOPE_KIND = 1,         /* uint8: 3, right ascension and declination */
  VL_TELESCOPE_FIRST = 8,        /* double: right ascension */
  VL_TELESCOPE_SECOND = 16,      /* double: declination */
  VL_TELESCOPE_MARKER_SIZE = 24, /* double: the marker's size */
  VL_TELESCOPE_LABEL = 62,       /* counted string: "Telescope" */
  VL_TELESCOPE_CONTEXT = 320     /* int32: the host context of its conversion */
};

/* ---- Object menu block (operations 14 and 15) ------------------------- */

enum {
  VL_OBJECT_MENU_SIZE = 1200,
  VL_OBJECT_NAME = 8,           /* counted string: the object's name */
  VL_OBJECT_RA = 544,           /* double */
  VL_OBJECT_DEC = 552,          /* double */
  VL_OBJECT_MENU_HANDLE = 1108, /* uint32: the menu to append to (operation 14) */
  VL_OBJECT_COMMAND = 1116      /* int32: the command chosen (operation 15) */
};

/* Object menu commands. */
enum {
  VL_CMD_SEPARATOR = 20000,
  VL_CMD_CALIBRATE = 20001, /* "Calibrate Telescope" */
  VL_CMD_ADD = 20002,       /* "Add to Calibrate List" */
  VL_CMD_REMOVE = 20003,    /* "Remove from Calibrate List" */
  VL_CMD_SIGHT = 20004      /* "Sight Object" */
};

/* ---- Menu state query (operation 22) ---------------------------------- */

enum {
  VL_MENU_STATE_SIZE = 8,
  VL_MENU_STATE_ITEM = 0,    /* int32: the item asked about */
  VL_MENU_STATE_ENABLED = 4, /* uint8 */
  VL_MENU_STATE_CHECKED = 5, /* uint8 */
  VL_ITEM_CONFIGURE = 8200,
  VL_ITEM_CONNECT = 8203,
  VL_ITEM_DISCONNECT = 8204,
  VL_ITEM_REPORTING = 8205
};

/* ---- Host time record (operation 34), host context (operation 39) ----- */

enum {
  VL_TIME_SIZE = 16,
  VL_TIME_DAY_NUMBER = 0, /* double: one unit per sidereal turn */
  VL_TIME_CARRIED = 8,    /* 8 bytes the plug-in keeps unread */
  VL_CONTEXT_SIZE = 16,
  VL_CONTEXT_VALUE = 12 /* int32: the host context */
};

/* ---- Little-endian reads and writes ----------------------------------- */

static inline uint8_t vlrec_u8(const uint8_t* block, size_t offset) { return block[offset]; }

static inline uint16_t vlrec_u16(const uint8_t* block, size_t offset) {
  return (uint16_t)(block[offset] | (block[offset + 1] << 8));
}

static inline uint32_t vlrec_u32(const uint8_t* block, size_t offset) {
  return (uint32_t)block[offset] | ((uint32_t)block[offset + 1] << 8) |
         ((uint32_t)block[offset + 2] << 16) | ((uint32_t)block[offset + 3] << 24);
}

static inline int32_t vlrec_i32(const uint8_t* block, size_t offset) {
  return (int32_t)vlrec_u32(block, offset);
}

static inline uint64_t vlrec_u64(const uint8_t* block, size_t offset) {
  return (uint64_t)vlrec_u32(block, offset) | ((uint64_t)vlrec_u32(block, offset + 4) << 32);
}

static inline double vlrec_f64(const uint8_t* block, size_t offset) {
  const uint64_t bits = vlrec_u64(block, offset);
  double value;
  memcpy(&value, &bits, sizeof value);
  return value;
}

static inline void vlrec_put_u8(uint8_t* block, size_t offset, uint8_t value) {
  block[offset] = value;
}

static inline void vlrec_put_u16(uint8_t* block, size_t offset, uint16_t value) {
  block[offset] = (uint8_t)value;
  block[offset + 1] = (uint8_t)(value >> 8);
}

static inline void vlrec_put_u32(uint8_t* block, size_t offset, uint32_t value) {
  int i;
  for (i = 0; i < 4; ++i) block[offset + i] = (uint8_t)(value >> (8 * i));
}

static inline void vlrec_put_i32(uint8_t* block, size_t offset, int32_t value) {
  vlrec_put_u32(block, offset, (uint32_t)value);
}

static inline void vlrec_put_u64(uint8_t* block, size_t offset, uint64_t value) {
  int i;
  for (i = 0; i < 8; ++i) block[offset + i] = (uint8_t)(value >> (8 * i));
}

static inline void vlrec_put_f64(uint8_t* block, size_t offset, double value) {
  uint64_t bits;
  memcpy(&bits, &value, sizeof bits);
  vlrec_put_u64(block, offset, bits);
}

#ifdef __cplusplus
}
#endif

#endif /* VELASTRA_CONTRACT_H */
