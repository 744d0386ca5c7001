#include "settings/ini_file_store.h"

#include <filesystem>
#include <new>
#include <stdexcept>
#include <system_error>
#include <utility>
#include <vector>

#include "settings/user_file.h"

namespace orlo {
namespace {

using user_file::cleanPath;
using user_file::FileProblem;
using user_file::shown;

void checkAddress(const std::string& application, const std::string& section,
                  const std::string& key) {
  if (application != kSettingsApplication) {
    throw std::invalid_argument("this settings file holds the settings of \"" +
                                std::string(kSettingsApplication) + "\" only, not of \"" +
                                application + "\"");
  }
  ini::checkName("section", section);
  ini::checkName("key", key);
}

std::string notSaved(const std::string& why) {
  return "The settings could not be saved: " + why + ". Nothing in the settings file has changed.";
}

std::string outOfMemory(const char* doing, const std::string& path) {
  return std::string("out of memory while ") + doing + " " + shown(path);
}

std::string absolutePath(const std::string& path) {
  if (path.starts_with('/')) {
    return cleanPath(path);
  }
  std::error_code error;
  const std::filesystem::path folder = std::filesystem::current_path(error);
  if (error) {
    throw SettingsError("The settings file " + shown(path) +
                        " cannot be found: the current folder is unknown (" + error.message() +
                        ").");
  }
  return cleanPath(folder.string() + "/" + path);
}

}  // namespace

IniFileStore::IniFileStore(const std::string& filePath) : filePath_(absolutePath(filePath)) {}

std::string IniFileStore::defaultFilePath() {
  std::string configHome;
  try {
    configHome = user_file::configFolder();
  } catch (const FileProblem& problem) {
    throw SettingsError(std::string("The settings file cannot be found: ") + problem.what() + ".");
  }
  const std::string application = kSettingsApplication;
  return cleanPath(configHome + "/" + application + "/" + application + ".conf");
}

std::string IniFileStore::location(const std::string& /*section*/) const {
  return shown(filePath_);
}

void IniFileStore::failLoad(const std::string& why) {
  loadFailure_ = "The settings cannot be loaded: " + why + ".";
  throw SettingsError(*loadFailure_);
}

const ini::Document& IniFileStore::document() {
  if (loadFailure_) {
    throw SettingsError(*loadFailure_);
  }
  if (!document_) {
    try {
      document_.emplace(user_file::read(filePath_).bytes);
    } catch (const FileProblem& problem) {
      failLoad(problem.what());
    } catch (const std::bad_alloc&) {
      failLoad(outOfMemory("reading", filePath_));
    }
  }
  return *document_;
}

std::string IniFileStore::get(const std::string& application, const std::string& section,
                              const std::string& key, const std::string& defaultValue) {
  checkAddress(application, section, key);
  return document().value(section, key).value_or(defaultValue);
}

void IniFileStore::save(const std::string& application, const std::string& section,
                        const std::string& key, const std::string& value) {
  checkAddress(application, section, key);
  try {
    staged_.push_back({section, key, value});
  } catch (const std::bad_alloc&) {
    staged_.clear();
    throw SettingsError(notSaved(outOfMemory("saving", filePath_)));
  }
}

void IniFileStore::commit() {
  const std::vector<StagedValue> staged = std::exchange(staged_, {});
  if (loadFailure_) {
    throw SettingsError("The settings were not saved, because " + shown(filePath_) +
                        " could not be read when they were loaded. It has been left as it was.");
  }
  if (staged.empty()) {
    return;
  }
  try {
    // The file as it is now: edits made to it since the load stay.
    const user_file::Contents current = user_file::read(filePath_);
    ini::Document edited(current.bytes);
    for (const StagedValue& value : staged) {
      edited.setValue(value.section, value.key, value.value);
    }
    const std::string bytes = edited.bytes();
    if (!current.exists() || bytes != current.bytes) {
      user_file::replace(filePath_, bytes, current);
    }
    document_ = std::move(edited);
  } catch (const FileProblem& problem) {
    throw SettingsError(notSaved(problem.what()));
  } catch (const std::bad_alloc&) {
    throw SettingsError(notSaved(outOfMemory("saving", filePath_)));
  }
}

}  // namespace orlo
