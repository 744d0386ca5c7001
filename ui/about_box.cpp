#include "ui/about_box.h"

#include <QStringList>

namespace orlo {

MessageBoxContent aboutBoxContent() {
  const QStringList lines{
      QStringLiteral("Orlo - IP Monitor v%1").arg(QLatin1String(kProgramVersion)),
      QString(),
      QStringLiteral("Written by the Orlo developers, who keep an eye"),
      QStringLiteral("on ten hosts so that you do not have to."),
      QString(),
      QStringLiteral("Visit our web site for news and updates:"),
      QStringLiteral("https://www.example.com/orlo"),
  };
  return {QStringLiteral("Orlo - Monitor"), lines.join(QLatin1Char('\n')), QMessageBox::NoIcon};
}

}  // namespace orlo
