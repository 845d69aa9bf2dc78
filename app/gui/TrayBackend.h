#pragma once
// The desktop's notification area as the tray icon uses it: add an icon, change it,
// remove it, and hear about clicks. The real one is QtTrayBackend; tests give their own.

#include <QIcon>
#include <QString>

#include <functional>

class QMenu;

namespace vireo {

class TrayBackend {
public:
    enum class Click { Left, Right };

    virtual ~TrayBackend() = default;
    // A notification area exists.
    virtual bool Supported() const = 0;
    // Adds the icon with its tooltip and menu; false when it could not be added.
    virtual bool Add(const QIcon& icon, const QString& tooltip, QMenu* menu) = 0;
    virtual void Remove() = 0;
    virtual void ChangeIcon(const QIcon& icon) = 0;
    virtual void SetToolTip(const QString& /*tooltip*/) {}

    void SetClickHandler(std::function<void(Click)> handler) { m_onClick = std::move(handler); }

protected:
    void Clicked(Click click) {
        if (m_onClick)
            m_onClick(click);
    }

private:
    std::function<void(Click)> m_onClick;
};

} // namespace vireo
