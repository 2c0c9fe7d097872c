// The user profile on Linux: win.ini in the configuration folder, read and
// written with the behaviour of GetProfileStringA and WriteProfileStringA.
//
// The file is INI text: "[Section]" lines, "key=value" lines, comment lines
// (first non-blank character ';' or '#') and blank lines.  Section and key
// names compare without regard to case.  A write changes only the bytes of the
// one key it sets (or adds a line, or a section at the end) and replaces the
// whole file atomically: a temporary file in the same folder, fsync, rename.
// A UTF-8 byte-order mark before the first line is skipped and kept; a
// profile without write permission is never replaced.
//
// Everything is done on the whole file in memory; the file is small and is
// read only when the settings load.  Memory comes from malloc, so that a
// failure is an answer and never an exception, and is kept for the next
// call up to a limit.

#include <fcntl.h>
#include <libgen.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>
#include <velastra/config_dir.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "platform/posix/ascii.h"

namespace plat {
namespace {

// A profile larger than this is not a profile: reads give the defaults and
// writes leave it alone.
constexpr std::size_t kMaxProfileBytes = 16u << 20;

constexpr char kProfileName[] = "win.ini";

// A block of malloc'd bytes, freed with its owner.
struct Bytes {
  char* data = nullptr;
  std::size_t size = 0;
  std::size_t capacity = 0;

  Bytes() = default;
  Bytes(const Bytes&) = delete;
  Bytes& operator=(const Bytes&) = delete;
  ~Bytes() { std::free(data); }

  // Grows by at least half again (and to at least 4 KiB), so that a text
  // built by appending asks for memory a few times, not at every append.
  bool Reserve(std::size_t wanted) {
    if (wanted <= capacity) return true;
    std::size_t grown_to = capacity + capacity / 2;
    if (grown_to < wanted) grown_to = wanted;
    if (grown_to < 4096) grown_to = 4096;
    void* grown = std::realloc(data, grown_to);
    if (grown == nullptr) return false;
    data = static_cast<char*>(grown);
    capacity = grown_to;
    return true;
  }
  bool Append(const char* bytes, std::size_t count) {
    if (count == 0) return true;
    if (count > SIZE_MAX - size || !Reserve(size + count)) return false;
    std::memcpy(data + size, bytes, count);
    size += count;
    return true;
  }
  bool Append(const char* text) { return Append(text, std::strlen(text)); }

  // Empties the block for its next use, keeping its memory unless it grew
  // large (a huge profile is not held for the life of the library).
  void Clear() {
    size = 0;
    if (capacity > kKeptBytes) {
      std::free(data);
      data = nullptr;
      capacity = 0;
    }
  }
  static constexpr std::size_t kKeptBytes = 64u << 10;
};

// The blocks of one read or write, kept from call to call: a profile of
// ordinary size is read and written without asking for memory again.  The
// plug-in is called from one thread at a time.
Bytes g_file;
Bytes g_value;
Bytes g_edited;

// Hands out one of the kept blocks, empty, and empties it again afterwards.
class Scratch {
 public:
  explicit Scratch(Bytes& bytes) : bytes_(bytes) { bytes_.Clear(); }
  ~Scratch() { bytes_.Clear(); }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  Bytes& operator*() { return bytes_; }

 private:
  Bytes& bytes_;
};

// ---- Paths and files ------------------------------------------------------------

bool ProfilePath(char* out, std::size_t size) {
  char folder[PATH_MAX];
  if (!vl_ConfigDirectory(folder, sizeof folder)) return false;
  const int n = std::snprintf(out, size, "%s/%s", folder, kProfileName);
  return n > 0 && static_cast<std::size_t>(n) < size;
}

// mkdir -p; new folders are private to the user, as XDG asks.  A part of the
// path that is a file is left for the profile's own open to refuse (ENOTDIR).
bool MakeFolders(const char* path) {
  char partial[PATH_MAX];
  const std::size_t length = std::strlen(path);
  if (length == 0 || length >= sizeof partial) return false;
  std::memcpy(partial, path, length + 1);
  for (std::size_t i = 1; i <= length; ++i) {
    if (partial[i] != '/' && partial[i] != '\0') continue;
    const char saved = partial[i];
    partial[i] = '\0';
    if (mkdir(partial, 0700) != 0 && errno != EEXIST) return false;
    partial[i] = saved;
  }
  return true;
}

enum class Load { kMissing, kLoaded, kFailed };

// Reads the whole profile.  `status`, when given, receives the file's mode and
// owner.
Load LoadFile(const char* path, Bytes& out, struct stat* status) {
  int fd;
  do {
    fd = open(path, O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return errno == ENOENT ? Load::kMissing : Load::kFailed;
  struct stat st = {};
  Load result = Load::kLoaded;
  if (fstat(fd, &st) != 0) {
    result = Load::kFailed;
  } else if (!S_ISREG(st.st_mode)) {
    errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    result = Load::kFailed;
  } else if (static_cast<std::uint64_t>(st.st_size) > kMaxProfileBytes) {
    errno = EFBIG;
    result = Load::kFailed;
  } else if (!out.Reserve(static_cast<std::size_t>(st.st_size) + 1)) {
    errno = ENOMEM;
    result = Load::kFailed;
  }
  while (result == Load::kLoaded) {
    if (out.size == out.capacity && !out.Reserve(out.capacity * 2)) {
      errno = ENOMEM;
      result = Load::kFailed;
      break;
    }
    const ssize_t n = read(fd, out.data + out.size, out.capacity - out.size);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      result = Load::kFailed;
      break;
    }
    out.size += static_cast<std::size_t>(n);
    if (out.size > kMaxProfileBytes) {  // grew while being read
      errno = EFBIG;
      result = Load::kFailed;
    }
  }
  const int error = errno;
  close(fd);
  errno = error;
  if (result == Load::kLoaded && status != nullptr) *status = st;
  return result;
}

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// Replaces `path` with `content`: a temporary "<path>.<pid>.tmp" beside it,
// written, flushed to disk and renamed over the old file.  On any failure the
// old file stays as it was and the temporary is removed.
bool ReplaceFile(const char* path, const Bytes& content, const struct stat* old) {
  char temporary[PATH_MAX];
  const int n =
      std::snprintf(temporary, sizeof temporary, "%s.%ld.tmp", path, static_cast<long>(getpid()));
  if (n <= 0 || static_cast<std::size_t>(n) >= sizeof temporary) return false;
  unlink(temporary);  // a leftover of an earlier crash with the same pid
  const mode_t mode = old != nullptr ? (old->st_mode & 07777) : 0644;
  int fd;
  do {
    fd = open(temporary, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, content.data, content.size);
  if (!ok) {
    const int error = errno;
    close(fd);
    unlink(temporary);
    errno = error;
    return false;
  }
  if (ok && old != nullptr) {
    // Keep the owner where allowed (root rewriting a user's profile), and the
    // exact permission bits.
    if (fchown(fd, old->st_uid, old->st_gid) != 0) {
      // Not ours to give away: the new file stays with its writer.
    }
    ok = fchmod(fd, mode) == 0;
  }
  ok = ok && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  ok = ok && rename(temporary, path) == 0;
  if (!ok) {
    const int error = errno;
    unlink(temporary);
    errno = error;
    return false;
  }
  // Make the rename itself durable.  The temporary's name begins with the
  // path: cut there, it gives the folder's name to dirname.
  temporary[std::strlen(path)] = '\0';
  const int dir = open(dirname(temporary), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  return true;
}

// ---- INI text -----------------------------------------------------------------------

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

struct Range {
  std::size_t begin = 0;
  std::size_t end = 0;
  std::size_t size() const { return end - begin; }
};

Range Trim(const char* d, Range r) {
  while (r.begin < r.end && IsBlank(d[r.begin])) ++r.begin;
  while (r.end > r.begin && IsBlank(d[r.end - 1])) --r.end;
  return r;
}

// One line: [begin, end) is its text without the line ending; `next` is where
// the following line starts.
struct Line {
  std::size_t begin = 0;
  std::size_t end = 0;
  std::size_t next = 0;
  bool has_newline = false;
};

// A UTF-8 byte-order mark, as editors on Windows put before the first line.
constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
constexpr std::size_t kByteOrderMarkSize = 3;

Line LineAt(const char* d, std::size_t size, std::size_t begin) {
  Line line;
  line.begin = begin;
  // The mark is no part of the first line's text; it stays in the file.
  if (begin == 0 && size >= kByteOrderMarkSize &&
      std::memcmp(d, kByteOrderMark, kByteOrderMarkSize) == 0) {
    line.begin = kByteOrderMarkSize;
  }
  const void* newline = std::memchr(d + line.begin, '\n', size - line.begin);
  if (newline == nullptr) {
    line.end = size;
    line.next = size;
    return line;
  }
  const std::size_t at = static_cast<std::size_t>(static_cast<const char*>(newline) - d);
  line.has_newline = true;
  line.next = at + 1;
  line.end = (at > line.begin && d[at - 1] == '\r') ? at - 1 : at;
  return line;
}

enum class Kind { kBlank, kComment, kSection, kKey, kOther };

struct Parsed {
  Kind kind = Kind::kOther;
  Range name;                   // section or key name, trimmed
  Range value;                  // key value, trimmed, quotes kept
  std::size_t value_start = 0;  // after '=' and the blanks that follow it
};

Parsed ParseLine(const char* d, const Line& line) {
  Parsed p;
  const Range text = Trim(d, Range{line.begin, line.end});
  if (text.size() == 0) {
    p.kind = Kind::kBlank;
    return p;
  }
  const char first = d[text.begin];
  if (first == ';' || first == '#') {
    p.kind = Kind::kComment;
    return p;
  }
  if (first == '[') {
    std::size_t close = text.end;
    while (close > text.begin + 1 && d[close - 1] != ']') --close;
    if (close > text.begin + 1) {
      p.kind = Kind::kSection;
      p.name = Trim(d, Range{text.begin + 1, close - 1});
    }
    return p;
  }
  const void* eq = std::memchr(d + text.begin, '=', text.size());
  if (eq == nullptr) return p;
  const std::size_t at = static_cast<std::size_t>(static_cast<const char*>(eq) - d);
  p.name = Trim(d, Range{text.begin, at});
  if (p.name.size() == 0) return p;
  p.kind = Kind::kKey;
  p.value = Trim(d, Range{at + 1, line.end});
  p.value_start = at + 1;
  while (p.value_start < line.end && (d[p.value_start] == ' ' || d[p.value_start] == '\t')) {
    ++p.value_start;
  }
  return p;
}

// A name given by the caller, trimmed as the file's names are.
struct Name {
  const char* text = nullptr;
  std::size_t size = 0;
};

Name TrimmedName(const char* s) {
  Name name{s, std::strlen(s)};
  while (name.size > 0 && IsBlank(name.text[0])) {
    ++name.text;
    --name.size;
  }
  while (name.size > 0 && IsBlank(name.text[name.size - 1])) --name.size;
  return name;
}

bool SameName(const char* d, Range r, Name name) {
  return r.size() == name.size && SameIgnoringCase(d + r.begin, name.text, name.size);
}

// Where a section and a key are in the text.
struct Found {
  bool section = false;  // a section of that name exists
  Line section_last;     // last line of its first occurrence that is not blank or comment
  bool key = false;      // the key exists in one of the sections of that name
  Line key_line;
  Parsed key_parsed;
};

Found Search(const char* d, std::size_t size, Name section, const Name* key) {
  Found found;
  bool inside = false;        // in a section of that name
  bool inside_first = false;  // in its first occurrence
  for (std::size_t at = 0; at < size;) {
    const Line line = LineAt(d, size, at);
    at = line.next;
    const Parsed parsed = ParseLine(d, line);
    if (parsed.kind == Kind::kSection) {
      inside = SameName(d, parsed.name, section);
      inside_first = inside && !found.section;
      if (inside_first) {
        found.section = true;
        found.section_last = line;
      }
      continue;
    }
    if (!inside) continue;
    if (inside_first && (parsed.kind == Kind::kKey || parsed.kind == Kind::kOther)) {
      // Comments after the last key usually introduce what follows, so a new
      // key goes before them.
      found.section_last = line;
    }
    if (key != nullptr && !found.key && parsed.kind == Kind::kKey &&
        SameName(d, parsed.name, *key)) {
      found.key = true;
      found.key_line = line;
      found.key_parsed = parsed;
    }
  }
  return found;
}

// The line ending the file already uses: CR LF if its first line ends so.
const char* LineEnding(const char* d, std::size_t size) {
  const void* newline = std::memchr(d, '\n', size);
  if (newline == nullptr) return "\n";
  const char* at = static_cast<const char*>(newline);
  return (at > d && at[-1] == '\r') ? "\r\n" : "\n";
}

bool ValidSectionName(const char* section) { return std::strpbrk(section, "\r\n") == nullptr; }

bool ValidKeyName(const char* key) {
  if (std::strpbrk(key, "\r\n=") != nullptr) return false;
  const Name name = TrimmedName(key);
  return name.size > 0 && name.text[0] != ';' && name.text[0] != '#' && name.text[0] != '[';
}

// The file's text with the change made, in `out`; false when memory ran out.
bool Edit(const Bytes& old, const char* section, const char* key, const char* value, Bytes& out) {
  const char* d = old.data != nullptr ? old.data : "";
  const std::size_t size = old.size;
  const char* eol = LineEnding(d, size);
  const Name section_name = TrimmedName(section);

  if (key == nullptr) {
    // Remove every occurrence of the section, from its header to the next one.
    if (!out.Reserve(size + 1)) return false;
    bool inside = false;
    for (std::size_t at = 0; at < size;) {
      const std::size_t start = at;  // with the byte-order mark, on the first line
      const Line line = LineAt(d, size, at);
      at = line.next;
      const Parsed parsed = ParseLine(d, line);
      if (parsed.kind == Kind::kSection) inside = SameName(d, parsed.name, section_name);
      if (!inside && !out.Append(d + start, line.next - start)) return false;
    }
    return true;
  }

  const Name key_name = TrimmedName(key);
  const Found found = Search(d, size, section_name, &key_name);
  if (value == nullptr) {
    // Remove the key's line.
    if (!found.key) return out.Append(d, size);
    return out.Append(d, found.key_line.begin) &&
           out.Append(d + found.key_line.next, size - found.key_line.next);
  }
  if (found.key) {
    // Same line, same spelling of the key, same line ending: a new value.
    return out.Append(d, found.key_parsed.value_start) && out.Append(value) &&
           out.Append(d + found.key_line.end, size - found.key_line.end);
  }
  if (found.section) {
    // After the section's last line that is not blank or a comment.
    const Line& last = found.section_last;
    if (last.has_newline) {
      return out.Append(d, last.next) && out.Append(key) && out.Append("=") && out.Append(value) &&
             out.Append(eol) && out.Append(d + last.next, size - last.next);
    }
    return out.Append(d, size) && out.Append(eol) && out.Append(key) && out.Append("=") &&
           out.Append(value) && out.Append(eol);
  }
  // A new section at the end, after a blank line.
  if (!out.Append(d, size)) return false;
  if (size > 0) {
    if (d[size - 1] != '\n' && !out.Append(eol)) return false;
    std::size_t start = 0;  // the file's last line
    for (std::size_t at = 0; at < size;) {
      const Line line = LineAt(d, size, at);
      start = line.begin;
      at = line.next;
    }
    if (ParseLine(d, LineAt(d, size, start)).kind != Kind::kBlank && !out.Append(eol)) return false;
  }
  return out.Append("[") && out.Append(section) && out.Append("]") && out.Append(eol) &&
         out.Append(key) && out.Append("=") && out.Append(value) && out.Append(eol);
}

}  // namespace

// ---- The seam -----------------------------------------------------------------------

void ProfileRead(const char* section, const char* key, const char* default_text, char* destination,
                 std::uint32_t size) {
  if (destination == nullptr || size == 0) return;
  const char* result = default_text != nullptr ? default_text : "";
  std::size_t length = std::strlen(result);

  Scratch scratch(g_file);
  Bytes& file = *scratch;
  char path[PATH_MAX];
  if (section != nullptr && key != nullptr && ProfilePath(path, sizeof path) &&
      LoadFile(path, file, nullptr) == Load::kLoaded) {
    const Name key_name = TrimmedName(key);
    const Found found = Search(file.data, file.size, TrimmedName(section), &key_name);
    if (found.key) {
      Range value = found.key_parsed.value;
      // One pair of matching quotes around the value is not part of it.
      const char first = value.size() >= 2 ? file.data[value.begin] : '\0';
      if ((first == '"' || first == '\'') && file.data[value.end - 1] == first) {
        ++value.begin;
        --value.end;
      }
      result = file.data + value.begin;
      length = value.size();
    }
  }
  length = std::min<std::size_t>(length, size - 1);
  std::memmove(destination, result, length);
  destination[length] = '\0';
}

// Fills in why a write failed: the profile's path (as far as it is known)
// and the system's text for `error`.  Returns false, for the callers.
bool Failed(ProfileWriteFailure* failure, const char* path, int error) {
  if (failure != nullptr) {
    std::snprintf(failure->file, sizeof failure->file, "%s", path);
    std::snprintf(failure->reason, sizeof failure->reason, "%s", std::strerror(error));
  }
  return false;
}

bool ProfileWrite(const char* section, const char* key, const char* text,
                  ProfileWriteFailure* failure) {
  char link[PATH_MAX] = {};
  if (!ProfilePath(link, sizeof link)) std::snprintf(link, sizeof link, "%s", kProfileName);
  if (section == nullptr || !ValidSectionName(section)) return Failed(failure, link, EINVAL);
  if (key != nullptr && !ValidKeyName(key)) return Failed(failure, link, EINVAL);

  char folder[PATH_MAX];
  if (!vl_ConfigDirectory(folder, sizeof folder)) return Failed(failure, link, errno);
  errno = 0;
  if (!MakeFolders(folder)) return Failed(failure, link, errno != 0 ? errno : ENOTDIR);
  if (!ProfilePath(link, sizeof link)) return Failed(failure, link, ENAMETOOLONG);

  // A profile that is a link to a file elsewhere is replaced there.
  char resolved[PATH_MAX];
  const char* path = link;
  struct stat entry = {};
  if (lstat(link, &entry) == 0 && S_ISLNK(entry.st_mode)) {
    if (realpath(link, resolved) == nullptr) return Failed(failure, link, errno);
    path = resolved;
  }

  Scratch old_scratch(g_file);
  Bytes& old = *old_scratch;
  struct stat status = {};
  const Load load = LoadFile(path, old, &status);
  if (load == Load::kFailed) return Failed(failure, path, errno);
  // A profile the user made read-only (no write permission for anyone, or
  // none for this user) is left alone, as Windows leaves a read-only win.ini:
  // replacing it through its folder would get round the permission.
  if (load == Load::kLoaded && ((status.st_mode & 0222) == 0 || access(path, W_OK) != 0)) {
    return Failed(failure, path, EACCES);
  }
  // A value stays on its line: line breaks in it become blanks.
  Scratch value_scratch(g_value);
  Bytes& value = *value_scratch;
  const bool have_value = text == nullptr || (value.Append(text) && value.Append("", 1));
  if (!have_value) return Failed(failure, path, ENOMEM);
  if (text != nullptr) {
    for (std::size_t i = 0; i + 1 < value.size; ++i) {
      if (value.data[i] == '\r' || value.data[i] == '\n') value.data[i] = ' ';
    }
  }
  Scratch edited_scratch(g_edited);
  Bytes& edited = *edited_scratch;
  if (!Edit(old, section, key, text != nullptr ? value.data : nullptr, edited)) {
    return Failed(failure, path, ENOMEM);
  }
  const bool same = edited.size == old.size &&
                    (old.size == 0 || std::memcmp(edited.data, old.data, old.size) == 0);
  if (same) return true;
  errno = 0;
  if (!ReplaceFile(path, edited, load == Load::kLoaded ? &status : nullptr)) {
    return Failed(failure, path, errno != 0 ? errno : EIO);
  }
  return true;
}

}  // namespace plat
