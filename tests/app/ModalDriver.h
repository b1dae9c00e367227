#pragma once

#include <QString>
#include <QStringList>

// Answers the modal dialogs that the main window opens while a test calls one of its
// slots: the file dialog gets a file name, a message box is read and closed. Each
// answer is taken from a timer, since the slot does not return until the dialog is gone.
class ModalDriver {
 public:
  // Schedules typing `file_name` into the next file dialog and accepting it; an empty
  // name cancels the dialog instead.
  static void chooseFile(const QString& file_name);
  // The filters that the last file dialog answered this way offered.
  static QStringList lastNameFilters();

  // Schedules closing every message box that appears within the next `milliseconds`;
  // their texts are collected in messages().
  static void collectMessageBoxes(int milliseconds = 60000);
  static QStringList messages();
  static void clearMessages();
};
