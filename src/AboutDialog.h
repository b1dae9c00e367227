#pragma once

#include "AbstractDialog.h"

// The version box: the product picture above the version line, the support address
// and the legal notice. A press on the picture or on the dialog's background closes
// it; presses on the text only select it.
class AboutDialog : public AbstractDialog {
  Q_OBJECT

 public:
  explicit AboutDialog(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());

  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  static QString aboutText();
};
