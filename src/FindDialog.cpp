#include "FindDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>

FindDialog::FindDialog(QWidget* parent, Qt::WindowFlags flags)
    : AbstractDialog(tr("Find"), parent, flags),
      line_edit(new QLineEdit()),
      whole_check_box(new QCheckBox(tr("Whole name or value only"))) {
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  layout()->addWidget(new QLabel(tr("Find in names and values (case ignored):")));
  layout()->addWidget(line_edit);
  layout()->addWidget(whole_check_box);
  layout()->addWidget(buttons);
  connect(buttons, SIGNAL(accepted()), this, SLOT(accept()));
  connect(buttons, SIGNAL(rejected()), this, SLOT(reject()));
  setMinimumWidth(320);
}

QString FindDialog::text() const {
  return line_edit->text();
}

bool FindDialog::whole() const {
  return whole_check_box->isChecked();
}

void FindDialog::setSearch(const QString& text, bool whole) {
  line_edit->setText(text);
  line_edit->selectAll();
  whole_check_box->setChecked(whole);
}
