#pragma once
// The notification area through QSystemTrayIcon.

#include "app/gui/TrayBackend.h"

#include <QSystemTrayIcon>

#include <memory>

namespace vireo {

class QtTrayBackend : public TrayBackend {
public:
    QtTrayBackend();
    ~QtTrayBackend() override;

    bool Supported() const override;
    bool Add(const QIcon& icon, const QString& tooltip, QMenu* menu) override;
    void Remove() override;
    void ChangeIcon(const QIcon& icon) override;
    void SetToolTip(const QString& tooltip) override;

private:
    std::unique_ptr<QSystemTrayIcon> m_icon;
};

} // namespace vireo
