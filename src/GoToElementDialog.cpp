#include "GoToElementDialog.h"

#include "SqlTree.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>

GoToElementDialog::GoToElementDialog(SqlTree* tree, QWidget* parent, Qt::WindowFlags flags)
    : AbstractDialog(tr("Go to element"), parent, flags), line_edit(new QLineEdit()) {
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
  // Return in the line edit already goes; a default button would go a second time.
  ok->setAutoDefault(false);
  ok->setDefault(false);
  buttons->button(QDialogButtonBox::Cancel)->setAutoDefault(false);

  layout()->addWidget(new QLabel(tr("Element id:")));
  layout()->addWidget(line_edit);
  layout()->addWidget(buttons);

  connect(line_edit, SIGNAL(returnPressed()), tree, SLOT(goToId()));
  connect(line_edit, SIGNAL(returnPressed()), this, SLOT(accept()));
  // Relayed as the line edit's own signal, so that the tree sees the line edit as sender.
  connect(ok, SIGNAL(clicked()), line_edit, SIGNAL(returnPressed()));
  connect(buttons, SIGNAL(rejected()), this, SLOT(reject()));
  setMinimumWidth(320);
}
