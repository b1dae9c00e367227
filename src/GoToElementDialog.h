#pragma once

#include "AbstractDialog.h"

class QLineEdit;
class SqlTree;

// Asks for an element id. The line edit is connected to the tree's goToId in its
// line-edit form, so the tree cleans the text to digits and goes there itself; the
// OK button relays the line edit's returnPressed(), which closes the dialog too.
class GoToElementDialog : public AbstractDialog {
  Q_OBJECT

 public:
  GoToElementDialog(SqlTree* tree, QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());

  QLineEdit* lineEdit() const { return line_edit; }

 private:
  QLineEdit* line_edit;
};
