// The Linux profile (win.ini) with real files in a configuration folder of the
// test's own.

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "test_blocks.h"

// posix_tests is linked with --wrap=realloc: once armed, the n-th call
// counted from then fails as an exhausted heap does.
int g_fail_realloc_at = 0;
int g_reallocs = 0;
extern "C" void* __real_realloc(void* block, size_t size);
extern "C" void* __wrap_realloc(void* block, size_t size) {
  if (g_fail_realloc_at != 0 && ++g_reallocs == g_fail_realloc_at) {
    errno = ENOMEM;
    return nullptr;
  }
  return __real_realloc(block, size);
}

// And with --wrap=read: the next reads fail with the errors queued here, and
// the next read first has another writer append a text to a file.
std::vector<int> g_read_errors;
std::string g_appended_on_read, g_append_path;
extern "C" ssize_t __real_read(int fd, void* bytes, size_t count);
extern "C" ssize_t __wrap_read(int fd, void* bytes, size_t count) {
  if (!g_appended_on_read.empty()) {
    std::ofstream(g_append_path, std::ios::binary | std::ios::app) << g_appended_on_read;
    g_appended_on_read.clear();
  }
  if (g_read_errors.empty()) return __real_read(fd, bytes, count);
  errno = g_read_errors.front();
  g_read_errors.erase(g_read_errors.begin());
  return -1;
}

namespace {

using testsupport::ScopedEnv;

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void Spit(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

bool Exists(const std::string& path) {
  struct stat st = {};
  return lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(folder.c_str())) {
    while (const dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(dir);
  }
  return names;
}

std::string Read(const char* section, const char* key, const char* fallback = "DEFAULT",
                 std::uint32_t size = 512) {
  std::vector<char> buffer(size + 8, '#');
  plat::ProfileRead(section, key, fallback, buffer.data(), size);
  return std::string(buffer.data());
}

class PosixProfile : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* base = getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") +
                          "/controller-profile-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    // The configuration folder itself does not exist yet.
    folder_ = root_ + "/config";
    ini_ = folder_ + "/win.ini";
    env_.emplace("VELASTRA_CONFIG_DIR", folder_.c_str());
  }
  void TearDown() override {
    env_.reset();
    if (!root_.empty()) {
      chmod(folder_.c_str(), 0755);
      testsupport::RemoveTree(root_);
    }
  }

  void WriteIni(const std::string& text) {
    mkdir(folder_.c_str(), 0755);
    Spit(ini_, text);
  }

  std::string root_;
  std::string folder_;
  std::string ini_;
  std::optional<ScopedEnv> env_;
};

constexpr char kMixed[] =
    "; velastra settings\r\n"
    "\r\n"
    "[Other]\r\n"
    "  Colour = red  \r\n"
    "# note\r\n"
    "\r\n"
    "[ZazuvUzarDLL]\r\n"
    "ResRA  =  4096\r\n"
    "junk line without equals\r\n"
    "CommPort=COM2\r\n"
    "\r\n"
    "; about the last section\r\n"
    "[Last]\r\n"
    "x=1";  // no final line ending

// ---- Reading -------------------------------------------------------------------

TEST_F(PosixProfile, DefaultsWhenNothingIsThere) {
  EXPECT_EQ(Read("ZazuvUzarDLL", "ResRA", "4096"), "4096");
  EXPECT_FALSE(Exists(folder_)) << "reading created the folder";
  WriteIni("[ZazuvUzarDLL]\nResRA=1\n");
  EXPECT_EQ(Read("Elsewhere", "ResRA", "d"), "d");
  EXPECT_EQ(Read("ZazuvUzarDLL", "ResDec", "8192"), "8192");
  EXPECT_EQ(Read("ZazuvUzarDLL", "ResDec", nullptr), "");
  // The default is copied as it is.
  EXPECT_EQ(Read("ZazuvUzarDLL", "ResDec", "  spaced  "), "  spaced  ");
}

TEST_F(PosixProfile, NamesIgnoreCaseAndBlanks) {
  WriteIni(kMixed);
  EXPECT_EQ(Read("zazuvuzardll", "RESRA"), "4096");
  EXPECT_EQ(Read("ZAZUVUZARDLL", "commport"), "COM2");
  EXPECT_EQ(Read("other", "colour"), "red");
  EXPECT_EQ(Read("Last", "X"), "1");
  EXPECT_EQ(Read("Other", "ResRA"), "DEFAULT");  // keys belong to their section
  EXPECT_EQ(Read("ZazuvUzarDLL", "junk line without equals"), "DEFAULT");
  EXPECT_EQ(Read("ZazuvUzarDLL", "; about the last section"), "DEFAULT");
}

TEST_F(PosixProfile, ValuesLoseBlanksAndOnePairOfQuotes) {
  WriteIni(
      "[S]\n"
      "a=   padded value \t \n"
      "b=\"quoted  \"\n"
      "c=\"\"twice\"\"\n"
      "d=\"unbalanced\n"
      "e='single'\n"
      "f=\"\n"
      "g=\n"
      "h=x=y\n"
      "\t i \t=\t7\n"
      "j= \t \n"
      "k=\v\f1\f\v\r\r\n"
      "\rl\v=\r2\n");
  EXPECT_EQ(Read("S", "a"), "padded value");
  EXPECT_EQ(Read("S", "b"), "quoted  ");
  EXPECT_EQ(Read("S", "c"), "\"twice\"");
  EXPECT_EQ(Read("S", "d"), "\"unbalanced");
  EXPECT_EQ(Read("S", "e"), "single");
  EXPECT_EQ(Read("S", "f"), "\"");
  EXPECT_EQ(Read("S", "g"), "");  // present but empty: not the default
  EXPECT_EQ(Read("S", "h"), "x=y");
  EXPECT_EQ(Read("S", "i"), "7");
  EXPECT_EQ(Read("S", "j"), "");   // only blanks: empty
  EXPECT_EQ(Read("S", "k"), "1");  // every other blank, a carriage return too
  EXPECT_EQ(Read("S", "l"), "2");
}

TEST_F(PosixProfile, ResultIsCutToTheBuffer) {
  WriteIni("[S]\nk=abcdef\n");
  EXPECT_EQ(Read("S", "k", "d", 4), "abc");
  EXPECT_EQ(Read("S", "k", "d", 1), "");
  EXPECT_EQ(Read("S", "missing", "default", 3), "de");
  char untouched[4] = {'x', 'y', 'z', '\0'};
  plat::ProfileRead("S", "k", "d", untouched, 0);
  EXPECT_STREQ(untouched, "xyz");
  plat::ProfileRead("S", "k", "d", nullptr, 10);  // nowhere to write: nothing happens
}

TEST_F(PosixProfile, FirstOccurrenceWins) {
  WriteIni("[S]\nk=1\nk=2\n[T]\nk=3\n[s]\nk=4\nm=5\n");
  EXPECT_EQ(Read("S", "k"), "1");
  EXPECT_EQ(Read("S", "m"), "5");  // a repeated section still counts
}

TEST_F(PosixProfile, SurvivesOddFiles) {
  std::string odd = "[S]\r\nk=v\r\n";
  odd += std::string("n\0ul=1\n", 7);
  odd += "[Broken\nafter=2\nnot a key\n=no name\n[S2]\nlong=" + std::string(200000, 'x') + "\n";
  odd += std::string(300000, 'y');  // a huge line without '=' or an ending
  WriteIni(odd);
  EXPECT_EQ(Read("S", "k"), "v");
  EXPECT_EQ(Read("S", "after"), "2") << "a line of '[' without ']' starts no section";
  EXPECT_EQ(Read("S2", "long", "d", 8), "xxxxxxx");
  EXPECT_EQ(Read("S2", "long", "d", 300000), std::string(200000, 'x'));
  EXPECT_EQ(Read("S", "n"), "DEFAULT");
  EXPECT_EQ(Read("S", ""), "DEFAULT");
  EXPECT_EQ(Read(nullptr, "k"), "DEFAULT");
  EXPECT_EQ(Read("S", nullptr), "DEFAULT");
}

TEST_F(PosixProfile, AHugeFileIsNotAProfile) {
  WriteIni("[S]\nk=v\n");
  ASSERT_EQ(truncate(ini_.c_str(), 64 << 20), 0);  // sparse: cheap to make
  EXPECT_EQ(Read("S", "k"), "DEFAULT");
  struct stat before = {};
  ASSERT_EQ(stat(ini_.c_str(), &before), 0);
  plat::ProfileWrite("S", "k", "w");
  struct stat after = {};
  ASSERT_EQ(stat(ini_.c_str(), &after), 0);
  EXPECT_EQ(after.st_size, before.st_size);
  EXPECT_EQ(after.st_ino, before.st_ino);
}

// ---- Writing ------------------------------------------------------------------

TEST_F(PosixProfile, FirstWriteCreatesFolderAndFile) {
  plat::ProfileWrite("ZazuvUzarDLL", "ResRA", "4096");
  plat::ProfileWrite("ZazuvUzarDLL", "ResDec", "8192");
  EXPECT_EQ(Slurp(ini_), "[ZazuvUzarDLL]\nResRA=4096\nResDec=8192\n");
  EXPECT_EQ(Read("ZazuvUzarDLL", "ResDec"), "8192");
}

TEST_F(PosixProfile, ReplacingAKeyKeepsEveryOtherByte) {
  WriteIni(kMixed);
  plat::ProfileWrite("zazuvuzardll", "resra", "-2048");
  std::string expected = kMixed;
  expected.replace(expected.find("4096"), 4, "-2048");
  EXPECT_EQ(Slurp(ini_), expected);
  EXPECT_EQ(Read("ZazuvUzarDLL", "ResRA"), "-2048");

  plat::ProfileWrite("Other", "COLOUR", "blue");
  expected.replace(expected.find("red  "), 5, "blue");
  EXPECT_EQ(Slurp(ini_), expected);

  plat::ProfileWrite("Last", "x", "2");
  expected.back() = '2';
  EXPECT_EQ(Slurp(ini_), expected);

  // The value that is there already: the file is not replaced at all.
  struct stat before = {}, after = {};
  ASSERT_EQ(stat(ini_.c_str(), &before), 0);
  EXPECT_TRUE(plat::ProfileWrite("Other", "Colour", "blue"));
  ASSERT_EQ(stat(ini_.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
}

TEST_F(PosixProfile, NewKeyGoesAfterTheSectionsLastLine) {
  WriteIni(kMixed);
  plat::ProfileWrite("ZazuvUzarDLL", "MountType", "EQ");
  std::string expected = kMixed;
  expected.insert(expected.find("CommPort=COM2\r\n") + 15, "MountType=EQ\r\n");
  EXPECT_EQ(Slurp(ini_), expected);

  plat::ProfileWrite("Other", "Size", "3");
  expected.insert(expected.find("Colour = red  \r\n") + 16, "Size=3\r\n");
  EXPECT_EQ(Slurp(ini_), expected);

  // The last section has no final line ending: the new line brings its own.
  plat::ProfileWrite("Last", "y", "2");
  expected += "\r\ny=2\r\n";
  EXPECT_EQ(Slurp(ini_), expected);
}

TEST_F(PosixProfile, NewSectionGoesAtTheEnd) {
  WriteIni(kMixed);
  plat::ProfileWrite("New", "k", "v");
  EXPECT_EQ(Slurp(ini_), std::string(kMixed) + "\r\n\r\n[New]\r\nk=v\r\n");

  WriteIni("[A]\na=1\n\n");
  plat::ProfileWrite("B", "b", "2");
  EXPECT_EQ(Slurp(ini_), "[A]\na=1\n\n[B]\nb=2\n");

  WriteIni("");
  plat::ProfileWrite("B", "b", "2");
  EXPECT_EQ(Slurp(ini_), "[B]\nb=2\n");

  // The byte-order mark alone is no text: the section follows it with no blank line between.
  WriteIni("\xEF\xBB\xBF");
  plat::ProfileWrite("B", "b", "2");
  EXPECT_EQ(Slurp(ini_), "\xEF\xBB\xBF\n[B]\nb=2\n");
}

TEST_F(PosixProfile, EmptySectionGetsItsFirstKey) {
  WriteIni("[A]\n[B]\nb=1\n");
  plat::ProfileWrite("A", "a", "0");
  EXPECT_EQ(Slurp(ini_), "[A]\na=0\n[B]\nb=1\n");
}

TEST_F(PosixProfile, ValuesWithLineBreaksStayOnOneLine) {
  WriteIni("[S]\nk=1\n");
  plat::ProfileWrite("S", "k", "one\r\ntwo\n[Evil]\ninjected=1");
  EXPECT_EQ(Slurp(ini_), "[S]\nk=one  two [Evil] injected=1\n");
  EXPECT_EQ(Read("Evil", "injected"), "DEFAULT");
}

TEST_F(PosixProfile, NamesThatCannotBeWrittenChangeNothing) {
  WriteIni("[S]\nk=1\n");
  plat::ProfileWrite("S", "a=b", "1");
  plat::ProfileWrite("S", "a\nb", "1");
  plat::ProfileWrite("S", ";a", "1");
  plat::ProfileWrite("S", "[a", "1");
  plat::ProfileWrite("S", "  ", "1");
  plat::ProfileWrite("S\n[T]", "a", "1");
  plat::ProfileWrite(nullptr, "a", "1");
  EXPECT_EQ(Slurp(ini_), "[S]\nk=1\n");
}

TEST_F(PosixProfile, NullValueRemovesKeyNullKeyRemovesSection) {
  WriteIni("[S]\na=1\nb=2\n[T]\nc=3\n");
  plat::ProfileWrite("S", "a", nullptr);
  EXPECT_EQ(Slurp(ini_), "[S]\nb=2\n[T]\nc=3\n");
  plat::ProfileWrite("s", nullptr, nullptr);
  EXPECT_EQ(Slurp(ini_), "[T]\nc=3\n");
  plat::ProfileWrite("T", "missing", nullptr);
  EXPECT_EQ(Slurp(ini_), "[T]\nc=3\n");
}

TEST_F(PosixProfile, PermissionBitsAreKept) {
  WriteIni("[S]\nk=1\n");
  ASSERT_EQ(chmod(ini_.c_str(), 0640), 0);
  plat::ProfileWrite("S", "k", "2");
  struct stat st = {};
  ASSERT_EQ(stat(ini_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(Slurp(ini_), "[S]\nk=2\n");
}

TEST_F(PosixProfile, WriteGoesThroughALinkedProfile) {
  mkdir(folder_.c_str(), 0755);
  const std::string real = root_ + "/real.ini";
  Spit(real, "[S]\nk=1\n");
  ASSERT_EQ(symlink(real.c_str(), ini_.c_str()), 0);
  plat::ProfileWrite("S", "k", "2");
  EXPECT_EQ(Slurp(real), "[S]\nk=2\n");
  struct stat st = {};
  ASSERT_EQ(lstat(ini_.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
}

TEST_F(PosixProfile, FailedWriteLeavesTheOldProfile) {
  WriteIni(kMixed);
  // The temporary's name is taken by a folder: the new text has nowhere to go.
  const std::string temporary = ini_ + "." + std::to_string(getpid()) + ".tmp";
  ASSERT_EQ(mkdir(temporary.c_str(), 0755), 0);
  plat::ProfileWrite("ZazuvUzarDLL", "ResRA", "1");
  EXPECT_EQ(Slurp(ini_), kMixed);
  ASSERT_EQ(rmdir(temporary.c_str()), 0);
  EXPECT_EQ(FolderEntries(folder_), std::vector<std::string>{"win.ini"});
}

// Memory that runs out at any request of a write, for every kind of edit:
// the write fails for want of memory and the old profile stays as it was,
// byte for byte; with every request granted, the text is the one an
// unhindered write makes.  (Texts are larger than the blocks kept from call
// to call, so every call asks afresh.)
TEST_F(PosixProfile, MemoryRunningOutAtAnyRequestLeavesTheOldProfile) {
  const std::string dashes(70000, '-'), value(70000, 'v');
  struct Case {
    std::string old;
    const char* section;
    const char* key;
    const char* value;
  };
  const Case cases[] = {
      {"[A]\nk=1\n[S]\nx=old\n;" + dashes + "\n", "S", "x", value.c_str()},  // a new value
      {"[S]\nx=1\n", "S", "y", value.c_str()},                               // a new key
      {"[A]\n;" + dashes, "S", "x", value.c_str()},         // a new section, no final line break
      {"[A]\n;" + dashes + "\n", "S", "x", value.c_str()},  // a new section after a line
      {"[A]\n;" + dashes + "\n[S]\nx=1\n", "S", "x", nullptr},      // a key removed
      {"[S]\nx=1\n[A]\n;" + dashes + "\n", "S", nullptr, nullptr},  // a section removed
  };
  for (const Case& c : cases) {
    WriteIni(c.old);
    ASSERT_TRUE(plat::ProfileWrite(c.section, c.key, c.value));
    const std::string expected = Slurp(ini_);
    ASSERT_NE(expected, c.old);
    int n = 1;
    for (;; ++n) {
      WriteIni(c.old);
      g_reallocs = 0;
      g_fail_realloc_at = n;
      plat::ProfileWriteFailure failure;
      const bool written = plat::ProfileWrite(c.section, c.key, c.value, &failure);
      g_fail_realloc_at = 0;
      if (g_reallocs < n) break;  // every request was granted
      EXPECT_FALSE(written) << n << " " << c.old.substr(0, 12);
      EXPECT_EQ(std::string(failure.reason), std::strerror(ENOMEM)) << n;
      EXPECT_EQ(Slurp(ini_), c.old) << n << " " << c.old.substr(0, 12);
    }
    EXPECT_EQ(Slurp(ini_), expected) << c.old.substr(0, 12);
    EXPECT_GT(n, 1) << c.old.substr(0, 12);
  }
}

// An interrupted read of the profile is read again; a failed one is no
// profile to read (the default) and fails a write, which leaves it alone.
TEST_F(PosixProfile, AnInterruptedReadIsRetriedAndAFailedOneIsNoProfile) {
  WriteIni(kMixed);
  g_read_errors = {EINTR};
  EXPECT_EQ(Read("ZazuvUzarDLL", "ResRA"), "4096");
  g_read_errors = {EIO};
  EXPECT_EQ(Read("ZazuvUzarDLL", "ResRA"), "DEFAULT");
  g_read_errors = {EIO};
  plat::ProfileWriteFailure failure;
  EXPECT_FALSE(plat::ProfileWrite("ZazuvUzarDLL", "ResRA", "1", &failure));
  EXPECT_EQ(std::string(failure.reason), std::strerror(EIO));
  EXPECT_EQ(Slurp(ini_), kMixed);
  g_read_errors.clear();
}

// A profile another program lengthens while it is read is read to its new
// end, in room grown as it comes.
TEST_F(PosixProfile, AProfileLengthenedWhileReadIsReadToItsNewEnd) {
  WriteIni("[S]\nk=v\n");
  g_append_path = ini_;
  g_appended_on_read = "x=" + std::string(20000, 'y') + "\n[T]\nt=1\n";
  EXPECT_EQ(Read("T", "t"), "1");
}

TEST_F(PosixProfile, FullDiskLeavesTheOldProfile) {
  WriteIni(kMixed);
  // A file size limit makes writes fail the way a full disk does, root or not.
  const pid_t child = fork();
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{64, 64};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(2);
    plat::ProfileWrite("ZazuvUzarDLL", "ResRA", std::string(1000, '9').c_str());
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(Slurp(ini_), kMixed);
  EXPECT_EQ(FolderEntries(folder_), std::vector<std::string>{"win.ini"});
}

TEST_F(PosixProfile, UnwritableFolderLeavesTheOldProfile) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  WriteIni("[S]\nk=1\n");
  ASSERT_EQ(chmod(folder_.c_str(), 0555), 0);
  plat::ProfileWrite("S", "k", "2");
  EXPECT_EQ(Slurp(ini_), "[S]\nk=1\n");
}

// Writes fail, and say why, where the profile cannot be: a folder that
// cannot be made (its parent is a link to nothing), a folder that is a file,
// and a folder whose profile's path is one byte too long to name.  Removing a key fails there
// too, and nothing is created.
TEST_F(PosixProfile, AProfileThatCannotBeThereIsNotWritten) {
  ASSERT_EQ(symlink((root_ + "/nowhere/at/all").c_str(), (root_ + "/dangling").c_str()), 0);
  std::string deep = root_;
  while (deep.size() + 1 + 200 < PATH_MAX - 8) deep += "/" + std::string(200, 'd');
  deep += "/" + std::string(PATH_MAX - 8 - deep.size() - 1, 'e');
  ASSERT_EQ(deep.size() + std::strlen("/win.ini"), std::size_t{PATH_MAX});
  struct Case {
    std::string folder, reason;
  };
  Spit(root_ + "/file", "not a folder");
  for (const Case& c :
       {Case{root_ + "/dangling/config", std::strerror(ENOENT)},
        Case{root_ + "/file", std::strerror(ENOTDIR)}, Case{deep, std::strerror(ENAMETOOLONG)}}) {
    ScopedEnv folder("VELASTRA_CONFIG_DIR", c.folder.c_str());
    for (const char* text : {"v", static_cast<const char*>(nullptr)}) {
      plat::ProfileWriteFailure failure;
      EXPECT_FALSE(plat::ProfileWrite("S", "k", text, &failure)) << c.folder.size();
      EXPECT_EQ(std::string(failure.reason), c.reason) << c.folder.size();
    }
  }
  EXPECT_FALSE(Exists(root_ + "/nowhere"));
  EXPECT_EQ(Slurp(root_ + "/file"), "not a folder");
  EXPECT_TRUE(FolderEntries(deep).empty());
}

TEST_F(PosixProfile, LongNamesAndValuesAreSafe) {
  const std::string section(5000, 'S');
  const std::string key(5000, 'k');
  const std::string value(100000, 'v');
  plat::ProfileWrite(section.c_str(), key.c_str(), value.c_str());
  EXPECT_EQ(Read(section.c_str(), key.c_str(), "d", 200000), value);
  EXPECT_EQ(Read(section.c_str(), key.c_str(), "d", 6), "vvvvv");
  plat::ProfileWrite(section.c_str(), key.c_str(), "short");
  EXPECT_EQ(Slurp(ini_), "[" + section + "]\n" + key + "=short\n");
}

TEST_F(PosixProfile, ConfigurationFolderFollowsXdg) {
  env_.reset();
  ScopedEnv own("VELASTRA_CONFIG_DIR", nullptr);
  {
    ScopedEnv xdg("XDG_CONFIG_HOME", root_.c_str());
    plat::ProfileWrite("S", "where", "xdg");
    EXPECT_EQ(Slurp(root_ + "/velastra/win.ini"), "[S]\nwhere=xdg\n");
    EXPECT_EQ(Read("S", "where"), "xdg");
  }
  {
    ScopedEnv xdg("XDG_CONFIG_HOME", "");
    ScopedEnv home("HOME", root_.c_str());
    plat::ProfileWrite("S", "where", "home");
    EXPECT_EQ(Slurp(root_ + "/.config/velastra/win.ini"), "[S]\nwhere=home\n");
  }
  {
    ScopedEnv own_empty("VELASTRA_CONFIG_DIR", "");
    ScopedEnv xdg("XDG_CONFIG_HOME", "relative/ignored");
    ScopedEnv home("HOME", root_.c_str());
    EXPECT_EQ(Read("S", "where"), "home");
  }
  {
    // No folder at all: the defaults, and a write that fails naming the file.
    ScopedEnv xdg("XDG_CONFIG_HOME", nullptr);
    ScopedEnv home("HOME", nullptr);
    EXPECT_EQ(Read("S", "where"), "DEFAULT");
    plat::ProfileWriteFailure failure;
    EXPECT_FALSE(plat::ProfileWrite("S", "where", "nowhere", &failure));
    EXPECT_STREQ(failure.file, "win.ini");
    EXPECT_STREQ(failure.reason, std::strerror(ENOENT));
  }
}

}  // namespace
