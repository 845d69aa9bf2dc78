#pragma once
// Asks for what goes with a log sent to support: a description of the trouble, the
// user's name and e-mail address. The name and address are remembered for next time.

#include "log/SupportReport.h"

#include <QDialog>

class QLineEdit;
class QPlainTextEdit;

namespace vireo {

class SupportReportDialog : public QDialog {
    Q_OBJECT
public:
    explicit SupportReportDialog(const QIcon& icon, QWidget* parent = nullptr);

    // What the user typed, as UTF-8.
    SupportReportFields Fields() const;

    void accept() override;

private:
    QPlainTextEdit* m_comments;
    QLineEdit* m_name;
    QLineEdit* m_email;
};

} // namespace vireo
