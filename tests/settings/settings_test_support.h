#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/table_cases.h"

namespace orlo::testing_support {

// A temporary folder that the test owns; removed with everything in it afterwards.
class TempFolder {
 public:
  TempFolder() { EXPECT_TRUE(dir_.isValid()) << dir_.errorString().toStdString(); }
  std::string path() const { return dir_.path().toStdString(); }
  std::string file(const std::string& name) const { return path() + "/" + name; }

  // The names in the folder, sorted, without "." and "..".
  std::vector<std::string> names() const {
    std::vector<std::string> result;
    for (const QString& name :
         QDir(dir_.path())
             .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDir::Name)) {
      result.push_back(name.toStdString());
    }
    return result;
  }

 private:
  QTemporaryDir dir_;
};

inline std::string readBytes(const std::string& path) {
  QFile file(QString::fromStdString(path));
  EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path;
  return file.readAll().toStdString();
}

inline void writeBytes(const std::string& path, const std::string& bytes) {
  QFile file(QString::fromStdString(path));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path;
  ASSERT_EQ(file.write(bytes.data(), static_cast<qint64>(bytes.size())),
            static_cast<qint64>(bytes.size()));
}

// Sets (or, with nothing, unsets) an environment variable for the life of this object.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = std::getenv(name)) {
      old_ = old;
    }
    apply(value);
  }
  ~ScopedEnvironment() { apply(old_); }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  void apply(const std::optional<std::string>& value) {
    if (value) {
      ::setenv(name_, value->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }
  const char* name_;
  std::optional<std::string> old_;
};

// Limits the size of every file this process writes, as a full disk would: writes past the
// limit fail with EFBIG instead of raising SIGXFSZ. Works for root as for any user.
class ScopedFileSizeLimit {
 public:
  explicit ScopedFileSizeLimit(rlim_t bytes) {
    oldHandler_ = ::signal(SIGXFSZ, SIG_IGN);
    EXPECT_EQ(::getrlimit(RLIMIT_FSIZE, &old_), 0);
    rlimit limited = old_;
    limited.rlim_cur = bytes;
    EXPECT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
  }
  ~ScopedFileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &old_);
    ::signal(SIGXFSZ, oldHandler_);
  }
  ScopedFileSizeLimit(const ScopedFileSizeLimit&) = delete;
  ScopedFileSizeLimit& operator=(const ScopedFileSizeLimit&) = delete;

 private:
  rlimit old_{};
  sighandler_t oldHandler_;
};

}  // namespace orlo::testing_support
