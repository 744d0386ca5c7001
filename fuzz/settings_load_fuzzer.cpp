// Loads the settings from a file with arbitrary contents. A load either succeeds or fails with
// a SettingsError; anything else (a crash, another exception, a file changed by loading) is a
// finding.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>

#include "core/memory_monitor_view.h"
#include "settings/qt_settings_store.h"
#include "settings/settings_sequences.h"

namespace {

QByteArray readAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const QTemporaryDir folder;
  const QString path = QDir(folder.path()).filePath(QStringLiteral("Orlo.conf"));
  const QByteArray contents(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(contents) != contents.size()) {
      std::abort();
    }
  }
  orlo::MemoryMonitorView view;
  orlo::QtSettingsStore store(path.toStdString());
  try {
    orlo::loadSettings(view, store);
  } catch (const orlo::SettingsError&) {
    // A clear refusal is one of the two expected outcomes.
  }
  if (readAll(path) != contents) {
    std::abort();
  }
  return 0;
}
