#include "AboutDialog.h"

#include "Edition.h"

#include <QEvent>
#include <QImage>
#include <QLabel>
#include <QLayout>

namespace {

const QString background_image = QStringLiteral(":resources/about-dialog-background.svg");

}  // namespace

AboutDialog::AboutDialog(QWidget* parent, Qt::WindowFlags flags)
    : AbstractDialog(tr("About"), parent, flags) {
  const QSize picture_size = QImage(background_image).size();

  auto* picture = new QLabel();
  picture->setStyleSheet(QStringLiteral("background-image: url(%1);").arg(background_image));
  picture->setFixedWidth(picture_size.width());
  picture->setMinimumHeight(picture_size.height());

  auto* text = new QLabel();
  text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::LinksAccessibleByMouse |
                                Qt::LinksAccessibleByKeyboard);
  text->setText(aboutText());

  layout()->addWidget(picture);
  layout()->addWidget(text);
  setFixedSize(sizeHint());

  // Light page under the picture, whatever the application's dark palette says.
  QPalette light = palette();
  const QColor base = light.color(QPalette::Base);
  light.setColor(QPalette::Window, base);
  light.setColor(QPalette::Button, base);
  light.setColor(QPalette::WindowText, Qt::black);
  setPalette(light);

  picture->installEventFilter(this);
  installEventFilter(this);
}

bool AboutDialog::eventFilter(QObject*, QEvent* event) {
  if (event->type() != QEvent::MouseButtonPress)
    return false;
  close();
  return true;
}

QString AboutDialog::aboutText() {
  const QString support = Edition::supportAddress();
  QStringList lines;
  lines << QStringLiteral("<html><body>")
        << tr("Version: %1 %2 (%3) %4. %5 Edition.<br>")
               .arg(Edition::productWord(), Edition::version(),
                    QString(Edition::buildTag()).replace(QLatin1Char(':'), QLatin1Char('-')),
                    Edition::platform(), Edition::name())
        << tr("Technical support: %1.<br>")
               .arg(QStringLiteral("<a href=\"mailto:%1\">%1</a>").arg(support))
        << QStringLiteral("<div align=\"left\">")
        << tr("Copyright © 2024 Quarnett.<br>")
        << tr("All rights reserved. Provided as is, without warranty of any kind.")
        << QStringLiteral("</div>")
        << QStringLiteral("</body></html>");
  return lines.join(QLatin1Char('\n'));
}
