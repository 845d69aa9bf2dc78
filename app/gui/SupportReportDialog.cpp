#include "app/gui/SupportReportDialog.h"

#include "settings/SettingsStore.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace vireo {

SupportReportDialog::SupportReportDialog(const QIcon& icon, QWidget* parent) : QDialog(parent) {
    setWindowTitle("Vireo tech support");
    setWindowIcon(icon);

    auto* intro = new QLabel("Now LOG FILE will be send to Tarnwell. \nThis service created for "
                             "help and support all Vireo users. Whatever went wrong, large or "
                             "small, please tell us about it here. We will try to answer you as "
                             "soon as posible.");
    intro->setWordWrap(true);
    intro->setObjectName("intro");
    auto* commentsLabel = new QLabel("comments");
    commentsLabel->setObjectName("commentsLabel");
    m_comments = new QPlainTextEdit; // Enter makes a new line, as a description needs
    m_comments->setObjectName("comments");
    m_comments->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    commentsLabel->setBuddy(m_comments);

    m_name = new QLineEdit(QString::fromStdString(Settings().GetString(keys::Name)));
    m_name->setObjectName("name");
    m_email = new QLineEdit(QString::fromStdString(Settings().GetString(keys::Email)));
    m_email->setObjectName("email");
    auto* form = new QFormLayout;
    form->addRow("name", m_name);
    form->addRow("e-mail", m_email);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(commentsLabel);
    layout->addWidget(m_comments, 1);
    layout->addWidget(new QLabel("please type your name and e-mail address"));
    layout->addLayout(form);
    layout->addWidget(new QLabel("Vireo 1.0 Beta"));
    layout->addWidget(buttons);
    resize(420, 420);
}

SupportReportFields SupportReportDialog::Fields() const {
    return {m_name->text().toStdString(), m_email->text().toStdString(),
            m_comments->toPlainText().toStdString()};
}

void SupportReportDialog::accept() {
    Settings().SetString(keys::Name, m_name->text().toStdString());
    Settings().SetString(keys::Email, m_email->text().toStdString());
    QDialog::accept();
}

} // namespace vireo
