#include "settings/qt_settings_store.h"

#include <unistd.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSettings>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryFile>
#include <QVariant>
#include <cerrno>
#include <cstdio>
#include <map>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "settings/ini_lines.h"
#include "settings/message_text.h"

namespace orlo {
namespace {

// How long a save waits for another program that is saving the same file.
constexpr int kLockWaitSeconds = 10;

// A reason why the file could not be read or written, in words that fit after "The settings
// cannot be loaded:" as well as after "The settings could not be saved:".
class FileProblem : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

QString qtText(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string shown(const QString& path) {
  return QDir::toNativeSeparators(path).toStdString();
}

QString settingsKey(const std::string& section, const std::string& key) {
  return qtText(section) + u'/' + qtText(key);
}

void checkName(const char* what, const std::string& name) {
  if (name.empty() || name.find_first_of("/\\") != std::string::npos) {
    throw std::invalid_argument(std::string("settings ") + what + " " + quotedForMessage(name) +
                                " is empty or holds '/' or '\\'");
  }
}

void checkAddress(const std::string& application, const std::string& section,
                  const std::string& key) {
  if (application != kSettingsApplication) {
    throw std::invalid_argument("this settings file holds the settings of \"" +
                                std::string(kSettingsApplication) + "\" only, not of " +
                                quotedForMessage(application));
  }
  checkName("section", section);
  checkName("key", key);
}

std::string systemMessage(int error) {
  return std::generic_category().message(error);
}

// The bytes of a settings file; nothing when there is no file.
QByteArray readSettingsFile(const QString& path) {
  const QFileInfo info(path);
  if (!info.exists()) {
    return {};
  }
  if (info.isDir()) {
    throw FileProblem("the settings file " + shown(path) +
                      " is a folder, not a file. Move it away to start with the default "
                      "settings.");
  }
  QFile file(path);
  QByteArray bytes;
  if (file.open(QIODevice::ReadOnly)) {
    bytes = file.readAll();
  }
  if (!file.isOpen() || file.error() != QFileDevice::NoError) {
    throw FileProblem("the settings file " + shown(path) + " cannot be read (" +
                      file.errorString().toStdString() +
                      "). Make it readable, or move it away to start with the default settings.");
  }
  return bytes;
}

// QSettings 6.4 reads a file that starts with a UTF-8 byte order mark, as some editors write
// it, but then reports a format error; the mark carries nothing, so it is left out.
QByteArray withoutByteOrderMark(QByteArray bytes) {
  if (bytes.startsWith("\xEF\xBB\xBF")) {
    bytes.remove(0, 3);
  }
  return bytes;
}

// What to say when QSettings cannot parse a file: its first faulty line, when one can be named.
std::string unparsableFile(const QString& path, const QByteArray& bytes) {
  const auto malformed = ini::firstMalformedLine(std::string_view(bytes.constData(), bytes.size()));
  if (!malformed) {
    return "the settings file " + shown(path) +
           " cannot be parsed. Correct it, or move it away to start with the default settings.";
  }
  return "line " + std::to_string(malformed->number) + " of the settings file " + shown(path) +
         ", " + quotedForMessage(malformed->text) +
         ", is neither a \"[section]\" header nor a \"key=value\" setting. Correct or delete "
         "that line.";
}

}  // namespace

// The settings of one file as QSettings reads them, taken at one moment.
//
// QSettings keeps one shared, cached copy of every file it has opened in the process, and
// reports a parse error only to the QSettings object that happened to parse the file first.
// To read exactly these bytes and learn whether they parse, the snapshot has QSettings read a
// private copy of them, under a name no other QSettings object ever uses.
class QtSettingsStore::Snapshot {
 public:
  Snapshot(QByteArray bytes, const QString& filePath)
      : bytes_(withoutByteOrderMark(std::move(bytes))), filePath_(filePath) {
    if (bytes_.isEmpty()) {
      return;
    }
    QTemporaryFile copy(QDir::tempPath() + QStringLiteral("/orlo-settings-XXXXXX.conf"));
    if (!copy.open() || copy.write(bytes_) != bytes_.size() || !copy.flush()) {
      throw FileProblem("no private copy of the settings file " + shown(filePath_) +
                        " could be made in " + shown(QDir::tempPath()) + " to read it (" +
                        copy.errorString().toStdString() + ").");
    }
    parsed_ = std::make_unique<QSettings>(copy.fileName(), QSettings::NativeFormat);
    // Parses every section now, so that a faulty line anywhere in the file is found at once.
    parsed_->allKeys();
    if (parsed_->status() == QSettings::FormatError) {
      throw FileProblem(unparsableFile(filePath_, bytes_));
    }
    if (parsed_->status() != QSettings::NoError) {
      throw FileProblem("the private copy of the settings file " + shown(filePath_) + " in " +
                        shown(QDir::tempPath()) + " could not be read back.");
    }
    // The copy is removed here; QSettings answers from what it has parsed and never syncs this
    // object again, since nothing is ever set through it.
  }

  // The stored text, or nothing when the key is absent.
  std::optional<std::string> text(const std::string& section, const std::string& key) const {
    if (!parsed_) {
      return std::nullopt;
    }
    const QString name = settingsKey(section, key);
    if (!parsed_->contains(name)) {
      return std::nullopt;
    }
    const QVariant value = parsed_->value(name);
    if (value.typeId() == QMetaType::QString) {
      return value.toString().toStdString();
    }
    // QSettings reads some hand-written lines as something other than text: an unquoted comma
    // makes "10.0.0.1, 10.0.0.2" a list, a leading "@ByteArray(" or "@Invalid()" another type.
    // What the user wrote is the text that stands in the file.
    const std::map<std::string, std::string>& raw = rawValuesOf(section);
    const auto found = raw.find(key);
    if (found == raw.end()) {
      throw FileProblem("the setting \"" + key + "\" in " + shown(filePath_) +
                        " is written in a form that cannot be read as text. Write it as "
                        "key=value on one line under [" +
                        section + "], or delete it.");
    }
    const std::string& text = found->second;
    // Decoded as QSettings decodes the file, so broken UTF-8 is mended the same way.
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).toStdString();
  }

  // Every key ("section/key") with its value as QSettings reads it.
  QVariantMap values() const {
    QVariantMap all;
    if (parsed_) {
      for (const QString& key : parsed_->allKeys()) {
        all.insert(key, parsed_->value(key));
      }
    }
    return all;
  }

 private:
  const std::map<std::string, std::string>& rawValuesOf(const std::string& section) const {
    auto found = rawSections_.find(section);
    if (found == rawSections_.end()) {
      found =
          rawSections_
              .emplace(section, ini::rawValuesOfSection(
                                    std::string_view(bytes_.constData(), bytes_.size()), section))
              .first;
    }
    return found->second;
  }

  QByteArray bytes_;
  QString filePath_;
  std::unique_ptr<QSettings> parsed_;  // null for an empty or missing file
  mutable std::map<std::string, std::map<std::string, std::string>> rawSections_;
};

QtSettingsStore::QtSettingsStore(std::string filePath)
    : filePath_(QFileInfo(qtText(filePath)).absoluteFilePath().toStdString()) {}

QtSettingsStore::~QtSettingsStore() = default;

std::string QtSettingsStore::defaultFilePath() {
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
  // The XDG base directory rule; a relative path would make the file depend on the folder the
  // program was started in.
  QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
  if (configHome.isEmpty() || QDir::isRelativePath(configHome)) {
    configHome = QDir::homePath() + QStringLiteral("/.config");
  }
#else
  const QString configHome =
      QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
#endif
  const QString application = QString::fromLatin1(kSettingsApplication);
  return QDir::cleanPath(configHome + u'/' + application + u'/' + application +
                         QStringLiteral(".conf"))
      .toStdString();
}

const QtSettingsStore::Snapshot& QtSettingsStore::snapshot() {
  if (loadFailure_) {
    throw SettingsError(*loadFailure_);
  }
  if (!snapshot_) {
    const QString path = qtText(filePath_);
    try {
      snapshot_ = std::make_unique<Snapshot>(readSettingsFile(path), path);
    } catch (const FileProblem& problem) {
      loadFailure_ = std::string("The settings cannot be loaded: ") + problem.what();
      throw SettingsError(*loadFailure_);
    }
  }
  return *snapshot_;
}

std::string QtSettingsStore::get(const std::string& application, const std::string& section,
                                 const std::string& key, const std::string& defaultValue) {
  checkAddress(application, section, key);
  const Snapshot& settings = snapshot();
  try {
    return settings.text(section, key).value_or(defaultValue);
  } catch (const FileProblem& problem) {
    loadFailure_ = std::string("The settings cannot be loaded: ") + problem.what();
    throw SettingsError(*loadFailure_);
  }
}

void QtSettingsStore::save(const std::string& application, const std::string& section,
                           const std::string& key, const std::string& value) {
  checkAddress(application, section, key);
  staged_.push_back({section, key, value});
}

void QtSettingsStore::commit() {
  const std::vector<StagedValue> staged = std::exchange(staged_, {});
  if (loadFailure_) {
    throw SettingsError("The settings were not saved, because the settings file " + filePath_ +
                        " could not be read when they were loaded. It has been left as it was.");
  }
  if (staged.empty()) {
    return;
  }
  try {
    writeFile(staged);
  } catch (const FileProblem& problem) {
    throw SettingsError(std::string("The settings could not be saved: ") + problem.what() +
                        " Nothing in the settings file has changed.");
  }
  // Later gets read the file as it now is.
  snapshot_.reset();
}

void QtSettingsStore::writeFile(const std::vector<StagedValue>& staged) const {
  const QString filePath = qtText(filePath_);
  const QFileInfo linkOrFile(filePath);
  QString target = filePath;
  if (linkOrFile.isSymLink()) {
    target = linkOrFile.canonicalFilePath();
    if (target.isEmpty()) {  // a link to a file that does not exist yet
      target = linkOrFile.symLinkTarget();
    }
  }
  const QFileInfo targetInfo(target);
  const QString folder = targetInfo.absolutePath();
  if (!QDir().mkpath(folder)) {
    throw FileProblem("the folder " + shown(folder) + " for the settings file cannot be created.");
  }

  // The lock QSettings takes for the same file: two programs saving at once take turns, so the
  // one that saves last leaves all of its values.
  QLockFile lock(target + QStringLiteral(".lock"));
  if (!lock.tryLock(kLockWaitSeconds * 1000)) {
    if (lock.error() == QLockFile::LockFailedError) {
      throw FileProblem("another program has been saving to " + shown(target) + " for more than " +
                        std::to_string(kLockWaitSeconds) + " seconds (lock file " +
                        shown(lock.fileName()) + ").");
    }
    throw FileProblem("the lock file " + shown(target) + ".lock cannot be created in " +
                      shown(folder) + ".");
  }

  const QByteArray before = withoutByteOrderMark(readSettingsFile(target));
  const Snapshot old(before, target);
  const bool existed = QFileInfo::exists(target);
  const QFileDevice::Permissions permissions =
      existed ? QFile::permissions(target) : (QFileDevice::ReadOwner | QFileDevice::WriteOwner);

  QTemporaryFile copy(folder + u'/' + targetInfo.fileName() + QStringLiteral(".XXXXXX"));
  if (!copy.open() || copy.write(before) != before.size() || !copy.flush()) {
    throw FileProblem("a new copy of the settings file could not be written in " + shown(folder) +
                      " (" + copy.errorString().toStdString() + ").");
  }
  {
    QSettings writer(copy.fileName(), QSettings::NativeFormat);
    for (const StagedValue& value : staged) {
      writer.setValue(settingsKey(value.section, value.key), qtText(value.value));
    }
    writer.sync();
    if (writer.status() != QSettings::NoError) {
      throw FileProblem("a new copy of the settings file could not be written in " + shown(folder) +
                        ".");
    }
  }

  QVariantMap expected = old.values();
  for (const StagedValue& value : staged) {
    expected.insert(settingsKey(value.section, value.key), qtText(value.value));
  }
  const auto readsBackAsExpected = [&] {
    try {
      return Snapshot(readSettingsFile(copy.fileName()), target).values() == expected;
    } catch (const FileProblem&) {
      return false;  // a copy that cannot be read or parsed does not hold what was written
    }
  };
  if (!readsBackAsExpected()) {
    throw FileProblem("the new copy of the settings file in " + shown(folder) +
                      " did not read back as it was written; the disk may be full.");
  }

  {
    QFile durable(copy.fileName());
    if (!durable.open(QIODevice::ReadOnly) || ::fsync(durable.handle()) != 0) {
      throw FileProblem("the new copy of the settings file in " + shown(folder) +
                        " could not be flushed to the disk.");
    }
  }
  if (!QFile::setPermissions(copy.fileName(), permissions)) {
    throw FileProblem("the new copy of the settings file in " + shown(folder) +
                      " could not be given the file's permissions.");
  }
  if (std::rename(QFile::encodeName(copy.fileName()).constData(),
                  QFile::encodeName(target).constData()) != 0) {
    const int error = errno;
    throw FileProblem("the new copy could not take the place of " + shown(target) + " (" +
                      systemMessage(error) + ").");
  }
  copy.setAutoRemove(false);
}

}  // namespace orlo
