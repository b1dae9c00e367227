#include "PropertiesDialog.h"

#include "BinViewArea.h"
#include "BinViewWidget.h"
#include "SqlTreeWidget.h"
#include "settings.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSettings>

namespace {

constexpr double minimum_font_size = 6.0;
constexpr double maximum_font_size = 20.0;

QDoubleSpinBox* createFontSizeBox(const QString& name) {
  auto* box = new QDoubleSpinBox();
  box->setObjectName(name);
  box->setRange(minimum_font_size, maximum_font_size);
  return box;
}

}  // namespace

PropertiesDialog::PropertiesDialog(BinViewWidget* bin_view_widget, SqlTreeWidget* tree_widget,
                                   QWidget* parent, Qt::WindowFlags flags)
    : AbstractDialog(tr("Properties"), parent, flags),
      bin_view_widget(bin_view_widget),
      tree_widget(tree_widget),
      bytes_per_line_box(new QComboBox()),
      tree_font_size_box(createFontSizeBox(QStringLiteral("tree_font_size_box"))),
      hex_font_size_box(createFontSizeBox(QStringLiteral("hex_font_size_box"))),
      old_bytes_per_line(bin_view_widget->binViewArea()->bytesPerLine()),
      old_tree_font_size(tree_widget->treeFontSize()),
      old_hex_font_size(bin_view_widget->binViewArea()->fontSize()) {
  // The base's vertical layout does not suit a two-column form: replace it.
  delete layout();

  auto* grid = new QGridLayout(this);
  grid->addWidget(createHexViewerGroup(), 0, 0, 2, 1);
  grid->addWidget(createTreeViewerGroup(), 0, 1, 2, 1);
  grid->addWidget(createButtonRow(), 3, 0, 1, 2);
  setFixedSize(sizeHint());

  showOldValues();
  // Only now: showing the old values must not touch the views.
  connectEditors();
}

QWidget* PropertiesDialog::createHexViewerGroup() {
  bytes_per_line_box->setObjectName(QStringLiteral("bytes_per_line_box"));
  for (int bytes = 4; bytes <= 32; bytes += 4)
    bytes_per_line_box->addItem(QString::number(bytes));

  auto* group = new QGroupBox(tr("Hex viewer"));
  auto* form = new QFormLayout(group);
  form->addRow(tr("Font size"), hex_font_size_box);
  form->addRow(tr("Bytes per line"), bytes_per_line_box);
  return group;
}

QWidget* PropertiesDialog::createTreeViewerGroup() {
  auto* group = new QGroupBox(tr("Tree viewer"));
  auto* form = new QFormLayout(group);
  form->addRow(tr("Font size"), tree_font_size_box);
  return group;
}

QWidget* PropertiesDialog::createButtonRow() {
  apply_button = new QPushButton(tr("Apply"));
  cancel_button = new QPushButton(tr("Cancel"));
  auto* row = new QWidget();
  auto* buttons = new QHBoxLayout(row);
  buttons->addStretch();
  buttons->addWidget(apply_button);
  buttons->addWidget(cancel_button);
  return row;
}

void PropertiesDialog::showOldValues() {
  bytes_per_line_box->setCurrentIndex(bytes_per_line_box->findText(
      QString::number(old_bytes_per_line), Qt::MatchExactly | Qt::MatchCaseSensitive));
  tree_font_size_box->setValue(old_tree_font_size);
  hex_font_size_box->setValue(old_hex_font_size);
}

void PropertiesDialog::connectEditors() {
  connect(apply_button, &QPushButton::clicked, this, &PropertiesDialog::accept);
  connect(cancel_button, &QPushButton::clicked, this, &PropertiesDialog::reject);
  connect(bytes_per_line_box, &QComboBox::currentTextChanged, this, &PropertiesDialog::setBytePerLine);
  connect(hex_font_size_box, &QDoubleSpinBox::valueChanged, this, &PropertiesDialog::setFontSize);
  connect(tree_font_size_box, &QDoubleSpinBox::valueChanged, this, &PropertiesDialog::setFontSize);
}

void PropertiesDialog::setBytePerLine(const QString& text) {
  bin_view_widget->binViewArea()->setBytesPerLine(text.toInt());
}

void PropertiesDialog::setFontSize(double size) {
  if (sender() == hex_font_size_box)
    bin_view_widget->binViewArea()->setFontSize(size);
  else if (sender() == tree_font_size_box)
    tree_widget->setTreeFontSize(size);
}

void PropertiesDialog::accept() {
  settings()->setValue(QStringLiteral("main/hex_viewer/bytes_per_line"), bytes_per_line_box->currentText());
  settings()->setValue(QStringLiteral("main/hex_viewer/font_size"), hex_font_size_box->value());
  settings()->setValue(QStringLiteral("main/tree_viewer/font_size"), tree_font_size_box->value());
  applySavedValues();
  QDialog::accept();
  close();
}

// A view can hold a value the boxes cannot show (a stored font size outside their
// range, or with more decimals): the box shows it rounded or clamped, and that is
// what was saved. The views take it too, so that they and the settings agree.
void PropertiesDialog::applySavedValues() {
  BinViewArea* area = bin_view_widget->binViewArea();
  const int bytes_per_line = bytes_per_line_box->currentText().toInt();
  if (bytes_per_line > 0 && area->bytesPerLine() != bytes_per_line)
    area->setBytesPerLine(bytes_per_line);
  if (area->fontSize() != hex_font_size_box->value())
    area->setFontSize(hex_font_size_box->value());
  if (tree_widget->treeFontSize() != tree_font_size_box->value())
    tree_widget->setTreeFontSize(tree_font_size_box->value());
}

void PropertiesDialog::reject() {
  // Put back only what differs, so that unchanged views are not laid out again.
  if (bytes_per_line_box->currentText() != QString::number(old_bytes_per_line))
    bin_view_widget->binViewArea()->setBytesPerLine(old_bytes_per_line);
  if (hex_font_size_box->value() != old_hex_font_size)
    bin_view_widget->binViewArea()->setFontSize(old_hex_font_size);
  if (tree_font_size_box->value() != old_tree_font_size)
    tree_widget->setTreeFontSize(old_tree_font_size);
  QDialog::reject();
  close();
}

void PropertiesDialog::closeEvent(QCloseEvent* event) { QDialog::closeEvent(event); }
