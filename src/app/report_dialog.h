// SPDX-License-Identifier: GPL-3.0-or-later
// A small dialog that shows a report of the whole site (its diff, its findings) as plain,
// monospaced, read-only text.
#pragma once

#include <QDialog>
#include <string>

class QPlainTextEdit;

namespace splicery {

class ReportDialog : public QDialog {
  Q_OBJECT
 public:
  ReportDialog(const QString& title, const std::string& text, QWidget* parent);
  QString text() const;

 private:
  QPlainTextEdit* view_;
};

}  // namespace splicery
