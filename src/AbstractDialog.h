#pragma once

#include <QDialog>

// Base of every dialog: product title prefix, window modality, a title bar with only
// a close button (unless the caller passes flags of its own) and an empty vertical
// layout for the subclass to fill. Destroying a dialog flushes the settings store.
class AbstractDialog : public QDialog {
  Q_OBJECT

 public:
  AbstractDialog(const QString& title, QWidget* parent = nullptr,
                 Qt::WindowFlags flags = Qt::WindowFlags());
  ~AbstractDialog() override;
};
