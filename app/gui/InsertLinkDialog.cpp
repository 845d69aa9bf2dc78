#include "app/gui/InsertLinkDialog.h"

#include "app/gui/Artwork.h"
#include "downloads/LinkFilter.h"
#include "downloads/RecentUrls.h"
#include "settings/SettingsStore.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace vireo {

namespace {
// The dialog offers a filter before the user ever chose one; harvesting without a stored
// choice takes every link.
constexpr int kDialogFilterFallback = LinkFilter::GetAllExcept;
constexpr std::string_view kPassOnlyFallback = "*.ra;*.ram;*.rm";
constexpr std::string_view kExceptFallback = "*.htm;*.html;*.txt";

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}
} // namespace

InsertLinkDialog::InsertLinkDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle("insert link");
    setObjectName("insertLinkDialog");
    SettingsStore& settings = Settings();
    m_mode = settings.GetInt(keys::Filter.name, kDialogFilterFallback);

    m_url = new QComboBox;
    m_url->setEditable(true);
    m_url->setInsertPolicy(QComboBox::NoInsert);
    m_url->setMinimumWidth(360);
    m_url->setObjectName("url");
    auto* urlLabel = new QLabel("URL");
    urlLabel->setBuddy(m_url);

    m_linkToPage = new QCheckBox("link to page");
    m_linkToPage->setChecked(settings.GetInt(keys::FromPage) != 0);
    m_icon = new QLabel;
    m_icon->setFixedSize(32, 32);
    m_icon->setObjectName("linkIcon");

    m_useFilter = new QCheckBox("use filter");
    m_useFilter->setChecked((m_mode & 1) != 0);
    m_retrieveOnly = new QRadioButton("retrive only");
    m_getAllExcept = new QRadioButton("get all except");
    ((m_mode & 2) != 0 ? m_retrieveOnly : m_getAllExcept)->setChecked(true);
    m_passOnly = new QLineEdit(Q(settings.GetString(keys::PassOnly.name, kPassOnlyFallback)));
    m_passOnly->setObjectName("passonly");
    m_except = new QLineEdit(Q(settings.GetString(keys::Except.name, kExceptFallback)));
    m_except->setObjectName("except");

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    m_ok->setText("OK");
    buttons->button(QDialogButtonBox::Cancel)->setText("Cancel");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* urlRow = new QHBoxLayout;
    urlRow->addWidget(urlLabel);
    urlRow->addWidget(m_url, 1);
    auto* pageRow = new QHBoxLayout;
    pageRow->addWidget(m_linkToPage);
    pageRow->addStretch(1);
    pageRow->addWidget(m_icon);
    auto* filter = new QGridLayout;
    filter->addWidget(m_useFilter, 0, 0, 1, 2);
    filter->addWidget(m_retrieveOnly, 1, 0);
    filter->addWidget(m_passOnly, 1, 1);
    filter->addWidget(m_getAllExcept, 2, 0);
    filter->addWidget(m_except, 2, 1);
    filter->setColumnMinimumWidth(0, 120);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(new QLabel("Vireo 1.0 Beta"));
    bottom->addStretch(1);
    bottom->addWidget(buttons);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(urlRow);
    layout->addLayout(pageRow);
    layout->addLayout(filter);
    layout->addLayout(bottom);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(m_linkToPage, &QCheckBox::clicked, this, [this] { UpdateControls(); });
    connect(m_useFilter, &QCheckBox::clicked, this, [this](bool on) {
        m_mode = on ? (m_mode | 1) : (m_mode & ~1);
        UpdateControls();
    });
    connect(m_retrieveOnly, &QRadioButton::clicked, this,
            [this] { m_mode = LinkFilter::RetrieveOnly; });
    connect(m_getAllExcept, &QRadioButton::clicked, this,
            [this] { m_mode = LinkFilter::GetAllExcept; });
    // Only an edit by the user disables OK: an empty history left untouched can still be
    // confirmed, and the caller then reports the empty address.
    connect(m_url->lineEdit(), &QLineEdit::textEdited, this,
            [this](const QString& text) { m_ok->setEnabled(!text.isEmpty()); });

    UpdateControls();
    m_recent = RecentUrls::Load();
    for (const std::string& url : m_recent)
        m_url->addItem(Q(url));
    if (!m_recent.empty())
        m_url->setCurrentIndex(0);
    m_url->setFocus();
}

void InsertLinkDialog::UpdateControls() {
    bool page = m_linkToPage->isChecked();
    bool filtered = page && m_useFilter->isChecked();
    m_useFilter->setEnabled(page);
    for (QWidget* w : {static_cast<QWidget*>(m_retrieveOnly), static_cast<QWidget*>(m_passOnly),
                       static_cast<QWidget*>(m_getAllExcept), static_cast<QWidget*>(m_except)})
        w->setEnabled(filtered);
    m_iconNumber = page ? art::kLinkPageIcon : art::kSingleLinkIcon;
    m_icon->setPixmap(art::LinkIcon(m_iconNumber, devicePixelRatioF()));
}

QString InsertLinkDialog::Url() const {
    return m_url->currentText();
}

bool InsertLinkDialog::LinkToPage() const {
    return m_linkToPage->isChecked();
}

void InsertLinkDialog::accept() {
    SettingsStore& settings = Settings();
    settings.SetInt(keys::FromPage, LinkToPage() ? 1 : 0);
    settings.SetInt(keys::Filter, m_mode);
    // Only the list of the chosen mode is taken; the other keeps what was stored.
    if ((m_mode & 1) != 0) {
        if (m_mode == LinkFilter::RetrieveOnly)
            settings.SetString(keys::PassOnly, m_passOnly->text().toStdString());
        else
            settings.SetString(keys::Except, m_except->text().toStdString());
    }
    std::string url = Url().toStdString();
    if (!url.empty()) {
        RecentUrls::Confirm(m_recent, url);
        m_url->clear();
        for (const std::string& u : m_recent)
            m_url->addItem(Q(u));
        m_url->setCurrentIndex(0);
    }
    RecentUrls::Save(m_recent); // a history that cannot be written is lost silently
    QDialog::accept();
}

} // namespace vireo
