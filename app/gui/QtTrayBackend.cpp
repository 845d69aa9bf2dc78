#include "app/gui/QtTrayBackend.h"

namespace vireo {

QtTrayBackend::QtTrayBackend() = default;

QtTrayBackend::~QtTrayBackend() = default;

bool QtTrayBackend::Supported() const {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

bool QtTrayBackend::Add(const QIcon& icon, const QString& tooltip, QMenu* menu) {
    if (!m_icon) {
        m_icon = std::make_unique<QSystemTrayIcon>();
        QObject::connect(m_icon.get(), &QSystemTrayIcon::activated,
                         [this](QSystemTrayIcon::ActivationReason reason) {
                             if (reason == QSystemTrayIcon::Trigger)
                                 Clicked(Click::Left);
                             else if (reason == QSystemTrayIcon::Context)
                                 Clicked(Click::Right);
                         });
    }
    m_icon->setIcon(icon);
    m_icon->setToolTip(tooltip);
    m_icon->setContextMenu(menu);
    m_icon->show();
    return m_icon->isVisible();
}

void QtTrayBackend::Remove() {
    if (m_icon)
        m_icon->hide();
}

void QtTrayBackend::ChangeIcon(const QIcon& icon) {
    if (m_icon)
        m_icon->setIcon(icon);
}

void QtTrayBackend::SetToolTip(const QString& tooltip) {
    if (m_icon)
        m_icon->setToolTip(tooltip);
}

} // namespace vireo
