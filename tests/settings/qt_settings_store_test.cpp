#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QSet>
#include <QSettings>
#include <QStringList>
#include <array>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "core/memory_monitor_view.h"
#include "settings/qt_settings_store.h"
#include "settings/settings_sequences.h"
#include "settings_test_support.h"

namespace orlo {
namespace {

using testing_support::readBytes;
using testing_support::ScopedEnvironment;
using testing_support::ScopedFileSizeLimit;
using testing_support::TempFolder;
using testing_support::writeBytes;

std::string getText(QtSettingsStore& store, const std::string& key,
                    const std::string& defaultValue = "<absent>") {
  return store.get(kSettingsApplication, kSettingsSection, key, defaultValue);
}

void saveTexts(const std::string& path,
               const std::vector<std::pair<std::string, std::string>>& values) {
  QtSettingsStore store(path);
  for (const auto& [key, value] : values) {
    store.save(kSettingsApplication, kSettingsSection, key, value);
  }
  store.commit();
}

// What any other QSettings user reads from the file.
QVariant readByQSettings(const std::string& path, const std::string& key) {
  const QSettings settings(QString::fromStdString(path), QSettings::NativeFormat);
  return settings.value(QString::fromLatin1(kSettingsSection) + '/' + QString::fromStdString(key));
}

std::string messageOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const SettingsError& failure) {
    return failure.what();
  }
  ADD_FAILURE() << "no SettingsError";
  return {};
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// ---- Exact text ------------------------------------------------------------------------------

struct TextCase {
  const char* name;
  std::string text;
};
void PrintTo(const TextCase& c, std::ostream* out) {
  *out << c.name;
}

class ExactText : public testing::TestWithParam<TextCase> {};

TEST_P(ExactText, ComesBackAsSaved) {
  TempFolder folder;
  const std::string path = folder.file("Orlo.conf");
  saveTexts(path, {{"ip3", GetParam().text}, {"refresh", GetParam().text}});

  QtSettingsStore reader(path);
  EXPECT_EQ(getText(reader, "ip3"), GetParam().text);
  EXPECT_EQ(getText(reader, "refresh"), GetParam().text);
  // Written in QSettings' own format: QSettings itself reads the same text.
  EXPECT_EQ(readByQSettings(path, "ip3").toString().toStdString(), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExactText,
    testing::Values(
        TextCase{"Comma", "10.0.0.1, 10.0.0.2"}, TextCase{"BareComma", ","},
        TextCase{"LeadingSpaces", "  10.0.0.1"}, TextCase{"TrailingSpaces", "10.0.0.1  "},
        TextCase{"OnlySpaces", "   "}, TextCase{"LeadingAt", "@home"}, TextCase{"TwoAts", "@@"},
        TextCase{"AtByteArray", "@ByteArray(10.0.0.1)"}, TextCase{"AtInvalid", "@Invalid()"},
        TextCase{"AtVariant", "@Variant(\x01)"}, TextCase{"AtString", "@String(x)"},
        TextCase{"AtRect", "@Rect(1 2 3 4)"}, TextCase{"Quotes", "\"10.0.0.1\""},
        TextCase{"OneQuote", "a\"b"}, TextCase{"Backslashes", "a\\b\\\\c\\"},
        TextCase{"EscapeLookalikes", "\\n\\t\\x41\\0"}, TextCase{"Tab", "\t10.0.0.1\t"},
        TextCase{"Newlines", "line1\nline2\r\nline3\r"},
        TextCase{"ControlCharacters", "\x01\x1f\x7f"},
        TextCase{"HexDigitAfterControl",
                 "\x01"
                 "0a"},
        TextCase{"NonAscii", "Grüße, 東京, Ελλάδα"}, TextCase{"OutsideTheBasicPlane", "🙂 𝄞"},
        TextCase{"SemicolonAndEquals", "a;b=c ; d"}, TextCase{"HashAndBrackets", "#x [Monitor]"},
        TextCase{"Percent", "%41%U0042"}, TextCase{"Empty", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ExactText, EmptyIsNotAbsent) {
  TempFolder folder;
  const std::string path = folder.file("Orlo.conf");
  saveTexts(path, {{"ip0", ""}, {"refresh", ""}});

  QtSettingsStore store(path);
  EXPECT_EQ(getText(store, "ip0", "default"), "");
  EXPECT_EQ(getText(store, "ip1", "default"), "default");
  MemoryMonitorView view;
  loadSettings(view, store);
  EXPECT_EQ(view.intervalText(), "");  // a stored empty interval is not the default "5"
}

TEST(ExactText, AOneMegabyteAddressComesBackWhole) {
  std::string text;
  const std::string piece = "10.0.0.1, \"x\" \\ \t\n@é 東 ";
  while (text.size() < (1u << 20)) {
    text += piece;
  }
  TempFolder folder;
  const std::string path = folder.file("Orlo.conf");
  saveTexts(path, {{"ip0", text}});
  QtSettingsStore reader(path);
  EXPECT_TRUE(getText(reader, "ip0") == text);
}

// ---- Files written by hand -----------------------------------------------------------------

struct HandEditedCase {
  const char* name;
  std::string file;
  std::string ip0;  // what get("ip0") gives with the default "<absent>"
};
void PrintTo(const HandEditedCase& c, std::ostream* out) {
  *out << c.name;
}

class HandEditedFile : public testing::TestWithParam<HandEditedCase> {};

TEST_P(HandEditedFile, ReadsTheTextAsWrittenAndLeavesTheFileAlone) {
  TempFolder folder;
  const std::string path = folder.file("Orlo.conf");
  writeBytes(path, GetParam().file);

  QtSettingsStore store(path);
  EXPECT_EQ(getText(store, "ip0"), GetParam().ip0);
  EXPECT_EQ(readBytes(path), GetParam().file);
  EXPECT_EQ(folder.names(), std::vector<std::string>{"Orlo.conf"});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HandEditedFile,
    testing::Values(
        HandEditedCase{"CommaList", "[Monitor]\nip0=10.0.0.1, 10.0.0.2\n", "10.0.0.1, 10.0.0.2"},
        HandEditedCase{"CommaListWithBlanksAndCrLf", "[Monitor]\r\nip0 =  10.0.0.1,10.0.0.2 \t\r\n",
                       "10.0.0.1,10.0.0.2"},
        HandEditedCase{"CommaListWithComment", "[Monitor]\nip0=10.0.0.1, 10.0.0.2 ; office\n",
                       "10.0.0.1, 10.0.0.2"},
        HandEditedCase{"TrailingComma", "[Monitor]\nip0=10.0.0.1,\n", "10.0.0.1,"},
        HandEditedCase{"QuotedComma", "[Monitor]\nip0=\"10.0.0.1, 10.0.0.2\"\n",
                       "10.0.0.1, 10.0.0.2"},
        HandEditedCase{"NonAsciiList", "; mine\n[Monitor]\nip0=Grüße, 東京\n", "Grüße, 東京"},
        HandEditedCase{"ByteOrderMark", "\xEF\xBB\xBF[Monitor]\nip0=a,b\n", "a,b"},
        HandEditedCase{"LastOfTwoWins", "[Monitor]\nip0=a, b\nip0=c, d\n", "c, d"},
        HandEditedCase{"SectionSplitInTwo",
                       "[Monitor]\nip0=a, b\n[Other]\nip0=x\n[Monitor]\nip1=y\n", "a, b"},
        HandEditedCase{"AtByteArray", "[Monitor]\nip0=@ByteArray(10.0.0.1)\n",
                       "@ByteArray(10.0.0.1)"},
        HandEditedCase{"AtInvalid", "[Monitor]\nip0=@Invalid()\n", "@Invalid()"},
        HandEditedCase{"AtRect", "[Monitor]\nip0=@Rect(1 2 3 4)\n", "@Rect(1 2 3 4)"},
        HandEditedCase{"UnquotedBlanksAreNotText", "[Monitor]\nip0=  10.0.0.1  \n", "10.0.0.1"},
        HandEditedCase{"EmptyValue", "[Monitor]\nip0=\n", ""},
        HandEditedCase{"OtherSection", "[Other]\nip0=x, y\n", "<absent>"},
        HandEditedCase{"NoSection", "ip0=x, y\n", "<absent>"},
        HandEditedCase{"OtherCase", "[monitor]\nIP0=x\n", "<absent>"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HandEditedFile, LoadsIntoTheViewByTheSameRules) {
  TempFolder folder;
  const std::string path = folder.file("Orlo.conf");
  writeBytes(path,
             "[Monitor]\nip0=10.0.0.1\nipen0=1\nip1=10.0.0.2, 10.0.0.3\nipen1=\" 1\"\n"
             "ipen2=01\nipen3=true\nipen4= 1 \nrefresh=abc\nontop=2.5\n");
  QtSettingsStore store(path);
  MemoryMonitorView view;
  loadSettings(view, store);
  EXPECT_EQ(view.addressText(0), "10.0.0.1");
  EXPECT_EQ(view.addressText(1), "10.0.0.2, 10.0.0.3");
  const std::array<std::int16_t, 5> enables = {1, 0, 0, 0, 1};  // " 1 " unquoted reads as "1"
  for (int slot = 0; slot < 5; ++slot) {
    EXPECT_EQ(view.enableValue(slot), enables[slot]) << "slot " << slot;
  }
  EXPECT_EQ(view.intervalText(), "abc");
  EXPECT_EQ(view.onTopValue(), 2);
}

struct BadOnTopFileCase {
  const char* name;
  std::string line;
  std::string shownValue;
};
void PrintTo(const BadOnTopFileCase& c, std::ostream* out) {
  *out << c.name;
}

class BadOnTopInFile : public testing::TestWithParam<BadOnTopFileCase> {};

TEST_P(BadOnTopInFile, FailsNamingTheFileTheKeyAndTheValue) {
  TempFolder folder;
  const std::string path = folder.file("Orlo.conf");
  const std::string file = "[Monitor]\n" + GetParam().line + "\n";
  writeBytes(path, file);
  QtSettingsStore store(path);
  MemoryMonitorView view;
  const std::string message = messageOf([&] { loadSettings(view, store); });
  EXPECT_TRUE(contains(message, "The setting \"ontop\" in " + path + " holds " +
                                    GetParam().shownValue + ", which is not"))
      << message;
  EXPECT_EQ(readBytes(path), file);
}

INSTANTIATE_TEST_SUITE_P(Cases, BadOnTopInFile,
                         testing::Values(BadOnTopFileCase{"Three", "ontop=3", "\"3\""},
                                         BadOnTopFileCase{"Letters", "ontop=yes", "\"yes\""},
                                         BadOnTopFileCase{"List", "ontop=1, 2", "\"1, 2\""},
                                         BadOnTopFileCase{"Empty", "ontop=", "\"\""}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Files that cannot be read ---------------------------------------------------------------

struct CorruptCase {
  const char* name;
  std::string file;
  std::string faultyLine;  // how the message names the line
};
void PrintTo(const CorruptCase& c, std::ostream* out) {
  *out << c.name;
}

class CorruptFile : public testing::TestWithParam<CorruptCase> {};

TEST_P(CorruptFile, FailsToLoadAndIsNeverOverwritten) {
  TempFolder folder;
  const std::string path = folder.file("Orlo.conf");
  writeBytes(path, GetParam().file);

  QtSettingsStore store(path);
  MemoryMonitorView view;
  const std::string loadMessage = messageOf([&] { loadSettings(view, store); });
  EXPECT_TRUE(contains(loadMessage, "The settings cannot be loaded: " + GetParam().faultyLine +
                                        " of the settings file " + path))
      << loadMessage;

  // Neither the store that failed to load, nor a fresh one, writes over the damaged file.
  const std::string refusal = messageOf([&] { saveSettings(view, store); });
  EXPECT_TRUE(contains(refusal, "not saved")) << refusal;
  QtSettingsStore fresh(path);
  const std::string freshMessage = messageOf([&] { saveSettings(view, fresh); });
  EXPECT_TRUE(contains(freshMessage, "could not be saved: " + GetParam().faultyLine))
      << freshMessage;
  EXPECT_TRUE(contains(freshMessage, "Nothing in the settings file has changed.")) << freshMessage;

  EXPECT_EQ(readBytes(path), GetParam().file);
  EXPECT_EQ(folder.names(), std::vector<std::string>{"Orlo.conf"});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CorruptFile,
    testing::Values(CorruptCase{"UnclosedHeader", "[Monitor\nip0=x\n", "line 1"},
                    CorruptCase{"LineWithoutEquals", "[Monitor]\nip0=x\nnot a setting\n", "line 3"},
                    CorruptCase{"StrayTextBeforeAnySection", "stray\n[Monitor]\nip0=x\n", "line 1"},
                    CorruptCase{"DamageInAnotherSection",
                                "[Monitor]\nip0=x\n[Other]\nkeep=1\nbroken\n", "line 5"},
                    CorruptCase{"CrLfLineCount", "[Monitor]\r\nip0=x\r\n\r\njunk\r\n", "line 4"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UnreadableFile, AFolderInPlaceOfTheFileFailsToLoadAndToSave) {
  TempFolder folder;
  const std::string path = folder.file("Orlo.conf");
  ASSERT_TRUE(QDir().mkpath(QString::fromStdString(path)));
  writeBytes(path + "/inside", "kept");

  QtSettingsStore store(path);
  MemoryMonitorView view;
  const std::string message = messageOf([&] { loadSettings(view, store); });
  EXPECT_TRUE(contains(message, path + " is a folder")) << message;
  QtSettingsStore fresh(path);
  EXPECT_TRUE(contains(messageOf([&] { saveSettings(view, fresh); }), path + " is a folder"));
  EXPECT_EQ(readBytes(path + "/inside"), "kept");
  EXPECT_EQ(folder.names(), std::vector<std::string>{"Orlo.conf"});
}

// ---- Saves that cannot reach the disk --------------------------------------------------------

MemoryMonitorView viewWithAddress(const std::string& address) {
  MemoryMonitorView view;
  view.setAddressText(0, address);
  view.setEnableValue(0, 1);
  view.setIntervalText("5");
  view.setOnTopValue(1);
  return view;
}

struct WriteFailureCase {
  const char* name;
  // Prepares the folder and returns the path to save to.
  std::function<std::string(const TempFolder&)> prepare;
  bool diskFull;      // the save runs under a file size limit, as on a full disk
  std::string named;  // what the message names, relative to the folder ("" for the folder)
};
void PrintTo(const WriteFailureCase& c, std::ostream* out) {
  *out << c.name;
}

class WriteFailure : public testing::TestWithParam<WriteFailureCase> {};

TEST_P(WriteFailure, IsReportedAndLeavesTheOldFileIntact) {
  TempFolder folder;
  const std::string path = GetParam().prepare(folder);
  const std::vector<std::string> namesBefore = folder.names();
  std::vector<std::pair<std::string, std::string>> bytesBefore;
  for (const std::string& name : namesBefore) {
    if (QFileInfo(QString::fromStdString(folder.file(name))).isFile()) {
      bytesBefore.emplace_back(name, readBytes(folder.file(name)));
    }
  }

  // Large enough that the new file cannot fit under the file size limit.
  const MemoryMonitorView view = viewWithAddress(std::string(256 * 1024, 'n'));
  QtSettingsStore store(path);
  std::string message;
  {
    std::optional<ScopedFileSizeLimit> limit;
    if (GetParam().diskFull) {
      limit.emplace(64 * 1024);
    }
    message = messageOf([&] { saveSettings(view, store); });
  }
  EXPECT_TRUE(contains(message, "The settings could not be saved: ")) << message;
  const std::string named =
      GetParam().named.empty() ? folder.path() : folder.file(GetParam().named);
  EXPECT_TRUE(contains(message, named)) << message;
  EXPECT_TRUE(contains(message, "Nothing in the settings file has changed.")) << message;

  EXPECT_EQ(folder.names(), namesBefore);  // no copy or lock file left behind
  for (const auto& [name, bytes] : bytesBefore) {
    EXPECT_EQ(readBytes(folder.file(name)), bytes) << name;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WriteFailure,
    testing::Values(WriteFailureCase{"DiskFullWhileWriting",
                                     [](const TempFolder& folder) {
                                       const std::string path = folder.file("Orlo.conf");
                                       saveTexts(path, {{"ip0", "10.0.0.1"}, {"ontop", "0"}});
                                       return path;
                                     },
                                     true, ""},
                    WriteFailureCase{"PathIsAFolder",
                                     [](const TempFolder& folder) {
                                       const std::string path = folder.file("Orlo.conf");
                                       QDir().mkpath(QString::fromStdString(path));
                                       return path;
                                     },
                                     false, "Orlo.conf"},
                    WriteFailureCase{"FolderIsAFile",
                                     [](const TempFolder& folder) {
                                       writeBytes(folder.file("Orlo"),
                                                  "a file where the folder should be");
                                       return folder.file("Orlo/Orlo.conf");
                                     },
                                     false, "Orlo"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- How a save replaces the file ------------------------------------------------------------

ino_t inodeOf(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
  return info.st_ino;
}

mode_t modeOf(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
  return info.st_mode & 07777;
}

TEST(AtomicSave, ReplacesTheFileWithANewOneAndNeverWritesIntoTheOld) {
  TempFolder folder;
  const std::string path = folder.file("Orlo.conf");
  saveTexts(path, {{"ip0", "old"}});
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  const std::string oldBytes = readBytes(path);
  const ino_t oldInode = inodeOf(path);
  // A second name for the old file: were it written in place, this would change too.
  ASSERT_EQ(::link(path.c_str(), folder.file("old-link").c_str()), 0);

  saveTexts(path, {{"ip0", "new"}});

  EXPECT_NE(inodeOf(path), oldInode);
  EXPECT_EQ(readBytes(folder.file("old-link")), oldBytes);
  QtSettingsStore reader(path);
  EXPECT_EQ(getText(reader, "ip0"), "new");
  EXPECT_EQ(modeOf(path), 0640u);
  EXPECT_EQ(folder.names(), (std::vector<std::string>{"Orlo.conf", "old-link"}));
}

TEST(AtomicSave, AStoreReadsWhatItSavedAndAnEmptyCommitWritesNothing) {
  TempFolder folder;
  const std::string path = folder.file("Orlo.conf");
  writeBytes(path, "; kept as typed\n[Monitor]\nip0=old\n");
  QtSettingsStore store(path);
  ASSERT_EQ(getText(store, "ip0"), "old");

  store.commit();
  EXPECT_EQ(readBytes(path), "; kept as typed\n[Monitor]\nip0=old\n");

  store.save(kSettingsApplication, kSettingsSection, "ip0", "new");
  store.commit();
  EXPECT_EQ(getText(store, "ip0"), "new");
}

TEST(AtomicSave, CreatesTheFolderAndAFileOnlyItsOwnerCanRead) {
  TempFolder folder;
  const std::string path = folder.file("Orlo/Orlo.conf");
  saveTexts(path, {{"ip0", "first"}});
  EXPECT_EQ(modeOf(path), 0600u);
  EXPECT_EQ(readBytes(path), "[Monitor]\nip0=first\n");
}

TEST(AtomicSave, KeepsWhatElseTheFileHolds) {
  TempFolder folder;
  const std::string path = folder.file("Orlo.conf");
  // Written by an editor that puts a byte order mark first.
  writeBytes(path, "\xEF\xBB\xBF[Other]\nlist=a, b\n[Monitor]\nip0=old\nextra=kept\n");
  saveTexts(path, {{"ip0", "new"}, {"ip1", "added"}});

  QtSettingsStore reader(path);
  EXPECT_EQ(getText(reader, "ip0"), "new");
  EXPECT_EQ(getText(reader, "ip1"), "added");
  EXPECT_EQ(getText(reader, "extra"), "kept");
  const QSettings settings(QString::fromStdString(path), QSettings::NativeFormat);
  EXPECT_EQ(settings.value("Other/list").toStringList(), (QStringList{"a", "b"}));
}

TEST(AtomicSave, SavingThroughASymbolicLinkKeepsTheLink) {
  TempFolder folder;
  const std::string real = folder.file("real.conf");
  const std::string link = folder.file("Orlo.conf");
  saveTexts(real, {{"ip0", "old"}});
  ASSERT_EQ(::symlink(real.c_str(), link.c_str()), 0);

  saveTexts(link, {{"ip0", "new"}});

  EXPECT_TRUE(QFileInfo(QString::fromStdString(link)).isSymLink());
  QtSettingsStore reader(real);
  EXPECT_EQ(getText(reader, "ip0"), "new");
}

// ---- Two programs on one file ----------------------------------------------------------------

// Every one of the 22 values differs between the two.
MemoryMonitorView programView(const std::string& name, std::int16_t enable, std::int16_t onTop) {
  MemoryMonitorView view;
  for (int slot = 0; slot < kSlotCount; ++slot) {
    view.setAddressText(slot, name + " host " + std::to_string(slot));
    view.setEnableValue(slot, enable);
  }
  view.setIntervalText(name + " minutes");
  view.setOnTopValue(onTop);
  return view;
}

// A copy of the program in a child process: it loads the settings, tells the parent, waits to
// be told to close, then saves its own values. Its exit status says whether all of it worked.
class ProgramCopy {
 public:
  ProgramCopy(const std::string& path, const MemoryMonitorView& values) {
    int toParent[2];
    int toChild[2];
    EXPECT_EQ(::pipe(toParent), 0);
    EXPECT_EQ(::pipe(toChild), 0);
    pid_ = ::fork();
    EXPECT_GE(pid_, 0);
    if (pid_ == 0) {
      ::close(toParent[0]);
      ::close(toChild[1]);
      ::_exit(run(path, values, toParent[1], toChild[0]));
    }
    ::close(toParent[1]);
    ::close(toChild[0]);
    fromChild_ = toParent[0];
    toChild_ = toChild[1];
  }
  ~ProgramCopy() {
    ::close(fromChild_);
    ::close(toChild_);
    if (pid_ > 0 && !waited_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  ProgramCopy(const ProgramCopy&) = delete;
  ProgramCopy& operator=(const ProgramCopy&) = delete;

  bool loaded() { return receive(fromChild_) == 'L'; }

  // Lets the copy save and close; true when it saved without failure.
  bool close() {
    const char go = 'S';
    EXPECT_EQ(::write(toChild_, &go, 1), 1);
    int status = 0;
    waited_ = ::waitpid(pid_, &status, 0) == pid_;
    return waited_ && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }

 private:
  // A bounded wait for one byte; 0 when none came.
  static char receive(int fd) {
    pollfd ready{fd, POLLIN, 0};
    char byte = 0;
    if (::poll(&ready, 1, 60000) == 1 && ::read(fd, &byte, 1) == 1) {
      return byte;
    }
    return 0;
  }

  static int run(const std::string& path, const MemoryMonitorView& values, int toParent,
                 int fromParent) {
    try {
      QtSettingsStore store(path);
      MemoryMonitorView view;
      loadSettings(view, store);
      const char loadedSignal = 'L';
      if (::write(toParent, &loadedSignal, 1) != 1 || receive(fromParent) != 'S') {
        return 2;
      }
      saveSettings(values, store);
      return 0;
    } catch (const SettingsError&) {
      return 1;
    }
  }

  pid_t pid_ = -1;
  int fromChild_ = -1;
  int toChild_ = -1;
  bool waited_ = false;
};

class TwoPrograms : public testing::TestWithParam<bool> {};

TEST_P(TwoPrograms, TheOneThatClosesLastLeavesAllItsValues) {
  TempFolder folder;
  const std::string path = folder.file("Orlo.conf");
  const MemoryMonitorView start = programView("start", 0, 0);
  QtSettingsStore starter(path);
  saveSettings(start, starter);

  // The second copy saves exactly what it loaded: it too must win every key when it closes
  // last, so a save may not skip the values it did not change.
  const MemoryMonitorView first = programView("first", 1, 2);
  const MemoryMonitorView& second = start;
  ProgramCopy a(path, first);
  ProgramCopy b(path, second);
  ASSERT_TRUE(a.loaded());
  ASSERT_TRUE(b.loaded());
  const bool aClosesLast = GetParam();
  ProgramCopy& closesFirst = aClosesLast ? b : a;
  ProgramCopy& closesLast = aClosesLast ? a : b;
  ASSERT_TRUE(closesFirst.close());
  ASSERT_TRUE(closesLast.close());

  QtSettingsStore reader(path);
  MemoryMonitorView loaded;
  loadSettings(loaded, reader);
  const MemoryMonitorView& last = aClosesLast ? first : second;
  for (int slot = 0; slot < kSlotCount; ++slot) {
    EXPECT_EQ(loaded.addressText(slot), last.addressText(slot));
    EXPECT_EQ(loaded.enableValue(slot), last.enableValue(slot) == 1 ? 1 : 0);
  }
  EXPECT_EQ(loaded.intervalText(), last.intervalText());
  EXPECT_EQ(loaded.onTopValue(), last.onTopValue());
  EXPECT_EQ(folder.names(), std::vector<std::string>{"Orlo.conf"});
}

INSTANTIATE_TEST_SUITE_P(Orders, TwoPrograms, testing::Bool(), [](const auto& info) {
  return std::string(info.param ? "FirstClosesLast" : "SecondClosesLast");
});

// ---- Hostile files ---------------------------------------------------------------------------

std::string randomBytes(std::size_t count, unsigned seed) {
  std::mt19937 generator(seed);
  std::uniform_int_distribution<int> byte(0, 255);
  std::string bytes(count, '\0');
  for (char& c : bytes) {
    c = static_cast<char>(byte(generator));
  }
  return bytes;
}

std::string repeated(const std::string& piece, std::size_t atLeast) {
  std::string text;
  while (text.size() < atLeast) {
    text += piece;
  }
  return text;
}

constexpr std::size_t kMegabyte = 1u << 20;

struct JunkCase {
  const char* name;
  std::function<std::string()> file;
  std::optional<std::string> ip0;  // when set, the load must succeed with this text
};
void PrintTo(const JunkCase& c, std::ostream* out) {
  *out << c.name;
}

class JunkFile : public testing::TestWithParam<JunkCase> {};

TEST_P(JunkFile, FailsClearlyOrReadsTheExactTextAndIsLeftAlone) {
  TempFolder folder;
  const std::string path = folder.file("Orlo.conf");
  const std::string file = GetParam().file();
  writeBytes(path, file);

  QtSettingsStore store(path);
  MemoryMonitorView view;
  try {
    loadSettings(view, store);
    if (GetParam().ip0) {
      EXPECT_TRUE(view.addressText(0) == *GetParam().ip0);
    }
  } catch (const SettingsError& failure) {
    EXPECT_FALSE(GetParam().ip0) << failure.what();
    EXPECT_TRUE(contains(failure.what(), path)) << failure.what();
  }
  EXPECT_TRUE(readBytes(path) == file);
  EXPECT_EQ(folder.names(), std::vector<std::string>{"Orlo.conf"});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, JunkFile,
    testing::Values(
        JunkCase{"RandomBytes", [] { return randomBytes(4 * kMegabyte, 1); }, std::nullopt},
        JunkCase{"RandomBytesInTheSection",
                 [] { return "[Monitor]\nip0=" + randomBytes(4 * kMegabyte, 2); }, std::nullopt},
        JunkCase{"NulBytes", [] { return std::string(3 * kMegabyte, '\0'); }, std::nullopt},
        JunkCase{"MegabytesOfCommas",
                 [] { return "[Monitor]\nip0=" + std::string(2 * kMegabyte, ',') + "\n"; },
                 std::string(2 * kMegabyte, ',')},
        JunkCase{"UnclosedQuote",
                 [] { return "[Monitor]\nip0=\"" + repeated("a\nb=c\n[x]\n", 3 * kMegabyte); },
                 std::nullopt},
        JunkCase{"EscapedLineBreaks",
                 [] { return "[Monitor]\nip0=a" + repeated("\\\n", 3 * kMegabyte) + "\n"; },
                 std::nullopt},
        JunkCase{"VariantOfRandomBytes",
                 [] { return "[Monitor]\nip0=@Variant(" + randomBytes(2 * kMegabyte, 3) + ")\n"; },
                 std::nullopt},
        JunkCase{"ManySectionsAndKeys",
                 [] {
                   return repeated("[s]\nk=v, w\n", 3 * kMegabyte) +
                          "[Monitor]\nip0=10.0.0.1, 10.0.0.2\n";
                 },
                 std::string("10.0.0.1, 10.0.0.2")}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Where the file lives --------------------------------------------------------------------

struct LocationCase {
  const char* name;
  std::optional<std::string> configHome;  // XDG_CONFIG_HOME, or unset
  std::string expected;                   // with HOME=/home/orlo-test
};
void PrintTo(const LocationCase& c, std::ostream* out) {
  *out << c.name;
}

class DefaultFilePath : public testing::TestWithParam<LocationCase> {};

TEST_P(DefaultFilePath, FollowsTheXdgRule) {
  const ScopedEnvironment home("HOME", "/home/orlo-test");
  const ScopedEnvironment configHome("XDG_CONFIG_HOME", GetParam().configHome);
  EXPECT_EQ(QtSettingsStore::defaultFilePath(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DefaultFilePath,
    testing::Values(LocationCase{"Unset", std::nullopt, "/home/orlo-test/.config/Orlo/Orlo.conf"},
                    LocationCase{"Empty", "", "/home/orlo-test/.config/Orlo/Orlo.conf"},
                    LocationCase{"Relative", "config", "/home/orlo-test/.config/Orlo/Orlo.conf"},
                    LocationCase{"Absolute", "/srv/conf", "/srv/conf/Orlo/Orlo.conf"},
                    LocationCase{"TrailingSlash", "/srv/conf/", "/srv/conf/Orlo/Orlo.conf"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DefaultFilePath, IsWhereQSettingsKeepsOrloSettingsAndHoldsAMonitorSection) {
  TempFolder folder;
  const ScopedEnvironment configHome("XDG_CONFIG_HOME", folder.path());
  const std::string path = QtSettingsStore::defaultFilePath();
  EXPECT_EQ(path, folder.file("Orlo/Orlo.conf"));
  EXPECT_EQ(QSettings(QSettings::NativeFormat, QSettings::UserScope, "Orlo", "Orlo")
                .fileName()
                .toStdString(),
            path);

  QtSettingsStore store(path);
  saveSettings(MemoryMonitorView(), store);
  const QStringList lines = QString::fromStdString(readBytes(path)).split('\n');
  QStringList expected = {"[Monitor]", "refresh=", "ontop=0", ""};
  for (int slot = 0; slot < kSlotCount; ++slot) {
    expected << QString("ip%1=").arg(slot) << QString("ipen%1=0").arg(slot);
  }
  ASSERT_FALSE(lines.isEmpty());
  EXPECT_EQ(lines.front(), "[Monitor]");
  EXPECT_EQ(QSet<QString>(lines.begin(), lines.end()),
            QSet<QString>(expected.begin(), expected.end()));
  EXPECT_EQ(lines.size(), expected.size());
}

TEST(StoreAddress, ServesOnlyItsOwnApplicationAndPlainNames) {
  TempFolder folder;
  QtSettingsStore store(folder.file("Orlo.conf"));
  EXPECT_THROW(store.get("Other", kSettingsSection, "ip0", ""), std::invalid_argument);
  EXPECT_THROW(store.save(kSettingsApplication, "Mon/itor", "ip0", ""), std::invalid_argument);
  EXPECT_THROW(store.save(kSettingsApplication, kSettingsSection, "", ""), std::invalid_argument);
  EXPECT_THROW(store.get(kSettingsApplication, kSettingsSection, "a\\b", ""),
               std::invalid_argument);
  EXPECT_EQ(store.location(), folder.file("Orlo.conf"));
}

}  // namespace
}  // namespace orlo
