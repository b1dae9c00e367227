#pragma once

#include "AbstractDialog.h"

class QLabel;
class QLineEdit;

// Asks for a byte offset of the file, decimal or hexadecimal with 0x. The dialog is
// accepted only with a readable offset; a text that is none says so in the dialog.
class GoToOffsetDialog : public AbstractDialog {
  Q_OBJECT

 public:
  explicit GoToOffsetDialog(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());

  QLineEdit* lineEdit() const { return line_edit; }
  // The offset of an accepted dialog.
  qint64 offset() const { return chosen_offset; }

  // Reads "1234" or "0x4D2" (blanks around it allowed); false for anything else,
  // negative numbers included.
  static bool parseOffset(const QString& text, qint64* offset);

 public Q_SLOTS:
  void accept() override;

 private:
  QLineEdit* line_edit;
  QLabel* problem;
  qint64 chosen_offset = -1;
};
