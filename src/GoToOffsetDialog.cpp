#include "GoToOffsetDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>

GoToOffsetDialog::GoToOffsetDialog(QWidget* parent, Qt::WindowFlags flags)
    : AbstractDialog(tr("Go to offset"), parent, flags), line_edit(new QLineEdit()), problem(new QLabel()) {
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  layout()->addWidget(new QLabel(tr("Byte offset (decimal, or hexadecimal with 0x):")));
  layout()->addWidget(line_edit);
  layout()->addWidget(problem);
  layout()->addWidget(buttons);
  problem->hide();
  connect(buttons, SIGNAL(accepted()), this, SLOT(accept()));
  connect(buttons, SIGNAL(rejected()), this, SLOT(reject()));
  setMinimumWidth(320);
}

bool GoToOffsetDialog::parseOffset(const QString& text, qint64* offset) {
  const QString trimmed = text.trimmed();
  bool ok = false;
  qint64 value = -1;
  if (trimmed.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
    value = trimmed.mid(2).toLongLong(&ok, 16);
  else if (!trimmed.isEmpty() && trimmed.at(0).isDigit())
    value = trimmed.toLongLong(&ok, 10);
  if (!ok || value < 0)
    return false;
  *offset = value;
  return true;
}

void GoToOffsetDialog::accept() {
  if (!parseOffset(line_edit->text(), &chosen_offset)) {
    problem->setText(tr("\"%1\" is not a byte offset.").arg(line_edit->text()));
    problem->show();
    return;
  }
  AbstractDialog::accept();
}
