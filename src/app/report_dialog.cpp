// SPDX-License-Identifier: GPL-3.0-or-later
// The report dialog.
#include "app/report_dialog.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/list_model.h"

namespace splicery {

ReportDialog::ReportDialog(const QString& title, const Report& report, QWidget* parent)
    : QDialog(parent), view_(new QPlainTextEdit(this)) {
  setObjectName("Report");
  setWindowTitle(title);
  setAttribute(Qt::WA_DeleteOnClose);
  // Modal: a report that stays open beside a run would show what no longer holds.
  setModal(true);
  view_->setObjectName("ReportText");
  view_->setReadOnly(true);
  view_->setLineWrapMode(QPlainTextEdit::NoWrap);
  view_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  QString text;
  for (const ReportPiece& piece : report) text += ToDisplay(piece.text, piece.encoding);
  view_->setPlainText(text);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  buttons->button(QDialogButtonBox::Close)->setText("Schließen");
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(view_);
  layout->addWidget(buttons);
  resize(720, 480);
}

QString ReportDialog::text() const { return view_->toPlainText(); }

}  // namespace splicery
