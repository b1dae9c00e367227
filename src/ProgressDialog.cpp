#include "ProgressDialog.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int bar_minimum_width = 300;

QLabel* createHiddenLine() {
  auto* line = new QLabel();
  line->setAlignment(Qt::AlignHCenter);
  line->hide();
  return line;
}

QProgressBar* createBar() {
  auto* bar = new QProgressBar();
  bar->setMinimumWidth(bar_minimum_width);
  return bar;
}

}  // namespace

ProgressDialog::ProgressDialog(QWidget* parent, Qt::WindowFlags flags)
    : AbstractDialog(tr("Progress ..."), parent, flags),
      label(createHiddenLine()),
      sub_label(createHiddenLine()),
      progress_bar(createBar()),
      sub_progress_bar(createBar()),
      cancel_button(new QPushButton(tr("Отмена"))) {
  sub_progress_bar->hide();
  cancel_button->hide();

  auto* button_row = new QHBoxLayout();
  button_row->addStretch();
  button_row->addWidget(cancel_button);

  auto* column = static_cast<QVBoxLayout*>(layout());
  column->addWidget(label);
  column->addWidget(sub_label);
  column->addWidget(progress_bar);
  column->addWidget(sub_progress_bar);
  column->addLayout(button_row);
  // The dialog follows its contents: it shrinks when a line is hidden.
  column->setSizeConstraint(QLayout::SetFixedSize);
}

void ProgressDialog::setCancelButtonVisible(bool visible) {
  // Disconnect first so that repeated calls never emit rejected() twice per click.
  disconnect(cancel_button, &QPushButton::clicked, this, &QDialog::rejected);
  cancel_button->setVisible(visible);
  if (visible)
    connect(cancel_button, &QPushButton::clicked, this, &QDialog::rejected);
}

void ProgressDialog::setSubRange(int min, int max) {
  if (max == -1) {
    sub_progress_bar->hide();
    return;
  }
  sub_progress_bar->setRange(min, max);
  sub_progress_bar->show();
}

void ProgressDialog::setRange(int min, int max) { progress_bar->setRange(min, max); }

void ProgressDialog::setSubValue(int value) { sub_progress_bar->setValue(value); }

void ProgressDialog::setLabelSubText(QString text) { showText(sub_label, text); }

void ProgressDialog::setValue(int value) { progress_bar->setValue(value); }

void ProgressDialog::setLabelText(QString text) { showText(label, text); }

void ProgressDialog::accept() {
  progress_bar->setValue(0);
  QDialog::accept();
}

void ProgressDialog::reject() {
  // Escape only reports the wish to cancel; the owner ends the task and accepts.
  if (!cancel_button->isHidden())
    emit rejected();
}

void ProgressDialog::closeEvent(QCloseEvent* event) { event->ignore(); }

void ProgressDialog::showText(QLabel* line, const QString& text) {
  if (text.isEmpty()) {
    line->hide();
    return;
  }
  line->setText(text);
  line->show();
}
