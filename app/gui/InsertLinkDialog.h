#pragma once
// "insert link": an address typed by hand or picked from the last ones confirmed, whether
// it is a page whose links are fetched, and which of those links to take.

#include <QDialog>

#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace vireo {

class InsertLinkDialog : public QDialog {
    Q_OBJECT
public:
    // Reads the filter settings and the recent addresses.
    explicit InsertLinkDialog(QWidget* parent = nullptr);

    // The address as typed (the caller trims and completes it).
    QString Url() const;
    bool LinkToPage() const;
    // 3 retrieve only, 1 get all except, either without bit 0 when no filter is used.
    int FilterMode() const { return m_mode; }
    // The number of the icon shown: 195 for a page whose links are fetched, else 196.
    int IconNumber() const { return m_iconNumber; }

    QComboBox* UrlBox() const { return m_url; }
    QCheckBox* LinkToPageBox() const { return m_linkToPage; }
    QCheckBox* UseFilterBox() const { return m_useFilter; }
    QRadioButton* RetrieveOnlyButton() const { return m_retrieveOnly; }
    QRadioButton* GetAllExceptButton() const { return m_getAllExcept; }
    QLineEdit* PassOnlyField() const { return m_passOnly; }
    QLineEdit* ExceptField() const { return m_except; }
    QPushButton* OkButton() const { return m_ok; }

    // Stores the settings and the recent addresses, then closes with OK.
    void accept() override;

private:
    void UpdateControls();

    QComboBox* m_url;
    QCheckBox* m_linkToPage;
    QLabel* m_icon;
    QCheckBox* m_useFilter;
    QRadioButton* m_retrieveOnly;
    QRadioButton* m_getAllExcept;
    QLineEdit* m_passOnly;
    QLineEdit* m_except;
    QPushButton* m_ok;
    int m_mode = 1;
    int m_iconNumber = 0;
    std::vector<std::string> m_recent;
};

} // namespace vireo
