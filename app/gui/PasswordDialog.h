#pragma once
// "Enter Network Password": asked when a server wants a user name and password for an
// address.

#include <QDialog>

class QLineEdit;

namespace vireo {

class PasswordDialog : public QDialog {
    Q_OBJECT
public:
    explicit PasswordDialog(const QString& url, QWidget* parent = nullptr);

    QString UserName() const;
    QString Password() const;
    QLineEdit* AddressField() const { return m_address; }
    QLineEdit* UserField() const { return m_user; }
    QLineEdit* PasswordField() const { return m_password; }

private:
    QLineEdit* m_address;
    QLineEdit* m_user;
    QLineEdit* m_password;
};

} // namespace vireo
