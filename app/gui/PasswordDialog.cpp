#include "app/gui/PasswordDialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QVBoxLayout>

namespace vireo {

PasswordDialog::PasswordDialog(const QString& url, QWidget* parent) : QDialog(parent) {
    setWindowTitle("Enter Network Password");
    setObjectName("passwordDialog");

    auto* icon = new QLabel;
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(32, 32));
    icon->setAlignment(Qt::AlignTop);

    m_address = new QLineEdit(url);
    m_address->setReadOnly(true);
    m_address->setFrame(false);
    m_address->setCursorPosition(0);
    m_address->setObjectName("address");
    m_address->setMinimumWidth(280);
    m_user = new QLineEdit;
    m_user->setObjectName("userName");
    m_password = new QLineEdit;
    m_password->setObjectName("password");
    m_password->setEchoMode(QLineEdit::Password);

    auto* form = new QFormLayout;
    form->addRow("Address", m_address);
    auto* userLabel = new QLabel("&User Name");
    userLabel->setBuddy(m_user);
    form->addRow(userLabel, m_user);
    auto* passwordLabel = new QLabel("&Password");
    passwordLabel->setBuddy(m_password);
    form->addRow(passwordLabel, m_password);

    auto* body = new QVBoxLayout;
    body->addWidget(new QLabel("Please type your user name and password"));
    body->addLayout(form);

    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addLayout(body, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    m_user->setFocus();
}

QString PasswordDialog::UserName() const {
    return m_user->text();
}

QString PasswordDialog::Password() const {
    return m_password->text();
}

} // namespace vireo
