#pragma once

#include "AbstractDialog.h"

class QCheckBox;
class QLineEdit;

// Asks for the text to find in element names and values, and whether it must be the
// whole name or value.
class FindDialog : public AbstractDialog {
  Q_OBJECT

 public:
  explicit FindDialog(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());

  QLineEdit* lineEdit() const { return line_edit; }
  QCheckBox* wholeCheckBox() const { return whole_check_box; }
  QString text() const;
  bool whole() const;
  void setSearch(const QString& text, bool whole);

 private:
  QLineEdit* line_edit;
  QCheckBox* whole_check_box;
};
