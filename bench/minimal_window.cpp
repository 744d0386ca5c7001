// The baseline of the window benchmarks (window_bench): the least a Qt Widgets program does to
// show one window. It has the monitor's collapsed client size and nothing in it. With --text it
// shows one line of text in it instead, which is what sets up the fonts (fontconfig, FreeType):
// the part of a start-up that any window with text pays and an empty one does not. Run it as the
// monitor is run (same display, same window manager); it stays until it is closed or killed.
//
// usage: minimal_window [--text]

#include <QApplication>
#include <QLabel>
#include <QWidget>

namespace {

constexpr int kClientWidth = 187;
constexpr int kClientHeight = 55;

}  // namespace

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  const bool withText = QApplication::arguments().contains(QStringLiteral("--text"));
  QWidget window;
  window.setWindowTitle(withText ? QStringLiteral("Orlo bench baseline with text")
                                 : QStringLiteral("Orlo bench baseline"));
  window.setFixedSize(kClientWidth, kClientHeight);
  if (withText) {
    auto* label = new QLabel(QStringLiteral("Refresh every 5 minutes"), &window);
    label->move(8, 8);
  }
  window.show();
  return QApplication::exec();
}
