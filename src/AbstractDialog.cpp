#include "AbstractDialog.h"

#include "settings.h"

#include <QSettings>
#include <QVBoxLayout>

AbstractDialog::AbstractDialog(const QString& title, QWidget* parent, Qt::WindowFlags flags)
    : QDialog(parent, flags) {
  setWindowTitle(tr("Corvanta") + QStringLiteral(" - %1").arg(title));
  setWindowModality(Qt::WindowModal);
  // No context-help button: none of our dialogs has help to give.
  if (!flags)
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setLayout(new QVBoxLayout());
}

AbstractDialog::~AbstractDialog() {
  // Dialogs are where settings change; store them now rather than at exit.
  settings()->sync();
}
