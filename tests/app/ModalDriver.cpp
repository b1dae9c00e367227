#include "ModalDriver.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

namespace {

QStringList collected_messages;
QStringList last_name_filters;

void answerFileDialog(const QString& file_name, int attempts_left) {
  auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
  if (!dialog) {
    if (attempts_left > 0)
      QTimer::singleShot(20, [=] { answerFileDialog(file_name, attempts_left - 1); });
    return;
  }
  last_name_filters = dialog->nameFilters();
  if (file_name.isEmpty()) {
    dialog->reject();
    return;
  }
  // Qt's own dialog: type the full name and close it as accepted. done() rather than
  // accept(), so that names the dialog would question (a missing file, a folder) still
  // reach the window, as they can when the file changes behind the dialog's back.
  dialog->selectFile(file_name);
  if (auto* name_edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
    name_edit->setText(file_name);
  static_cast<QDialog*>(dialog)->done(QDialog::Accepted);
}

void closeMessageBoxes(QElapsedTimer clock, int milliseconds) {
  if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
    collected_messages.append(box->windowTitle() + QStringLiteral(": ") + box->text());
    box->accept();
  }
  if (clock.elapsed() < milliseconds)
    QTimer::singleShot(20, [=] { closeMessageBoxes(clock, milliseconds); });
}

}  // namespace

void ModalDriver::chooseFile(const QString& file_name) {
  QTimer::singleShot(0, [=] { answerFileDialog(file_name, 500); });
}

void ModalDriver::collectMessageBoxes(int milliseconds) {
  QElapsedTimer clock;
  clock.start();
  QTimer::singleShot(0, [=] { closeMessageBoxes(clock, milliseconds); });
}

QStringList ModalDriver::lastNameFilters() {
  return last_name_filters;
}

QStringList ModalDriver::messages() {
  return collected_messages;
}

void ModalDriver::clearMessages() {
  collected_messages.clear();
}
