#pragma once

#include "AbstractDialog.h"

class QLabel;
class QProgressBar;
class QPushButton;

// Shown while a long task runs. Only its owner closes it, through accept(); the user
// can at most ask to cancel (the cancel button or Escape, when the button is shown),
// which emits rejected() and leaves the dialog open until the task has stopped.
class ProgressDialog : public AbstractDialog {
  Q_OBJECT

 public:
  explicit ProgressDialog(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());

  void setCancelButtonVisible(bool visible);

 public slots:
  // A maximum of -1 hides the second bar.
  void setSubRange(int min, int max);
  void setRange(int min, int max);
  void setSubValue(int value);
  // An empty text hides the line.
  void setLabelSubText(QString text);
  void setValue(int value);
  void setLabelText(QString text);

  void accept() override;
  void reject() override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  static void showText(QLabel* line, const QString& text);

  QLabel* label;
  QLabel* sub_label;
  QProgressBar* progress_bar;
  QProgressBar* sub_progress_bar;
  QPushButton* cancel_button;
};
