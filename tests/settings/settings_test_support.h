#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <QTemporaryDir>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <ostream>
#include <string>
#include <system_error>
#include <vector>

#include "settings/ini_file_store.h"
#include "tests/support/table_cases.h"

namespace orlo::testing_support {

// Paths in and under the folder are bytes, as in the settings file store: Qt would lose those
// that are not UTF-8.

// A temporary folder that the test owns; removed with everything in it afterwards.
class TempFolder {
 public:
  TempFolder() { EXPECT_TRUE(dir_.isValid()) << dir_.errorString().toStdString(); }
  ~TempFolder() {
    std::error_code error;  // what stays, QTemporaryDir tries again and names
    std::filesystem::remove_all(path(), error);
  }
  std::string path() const { return dir_.path().toStdString(); }
  std::string file(const std::string& name) const { return path() + "/" + name; }

  // The names in the folder, sorted, without "." and "..".
  std::vector<std::string> names() const {
    std::vector<std::string> result;
    for (const auto& entry : std::filesystem::directory_iterator(path())) {
      result.push_back(entry.path().filename().string());
    }
    std::sort(result.begin(), result.end());
    return result;
  }

 private:
  QTemporaryDir dir_;
};

inline std::string readBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  EXPECT_TRUE(file.is_open()) << path;
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

inline void writeBytes(const std::string& path, const std::string& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << bytes;
  file.close();
  ASSERT_TRUE(file.good()) << path;
}

inline struct stat statOf(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
  return info;
}

inline std::string getText(SettingsStore& store, const std::string& key) {
  return store.get(kSettingsApplication, kSettingsSection, key, "<absent>");
}

inline void saveText(SettingsStore& store, const std::string& key, const std::string& value) {
  store.save(kSettingsApplication, kSettingsSection, key, value);
}

inline void saveOne(const std::string& path, const std::string& key, const std::string& value) {
  IniFileStore store(path);
  saveText(store, key, value);
  store.commit();
}

// The message of the SettingsError the action throws.
inline std::string messageOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const SettingsError& failure) {
    return failure.what();
  }
  ADD_FAILURE() << "no SettingsError";
  return {};
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
