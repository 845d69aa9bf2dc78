#pragma once
// A notification area that records what the tray icon does with it.

#include "app/gui/TrayBackend.h"

#include <QIcon>

#include <string>
#include <vector>

namespace vireo::test {

class FakeTray : public TrayBackend {
public:
    struct Log {
        bool supported = true;
        bool shown = false;
        std::vector<std::string> calls; // "add", "remove", "icon"
        int iconChanges = 0;
    };
    explicit FakeTray(Log& log) : m_log(log) {}

    bool Supported() const override { return m_log.supported; }
    bool Add(const QIcon&, const QString&, QMenu*) override {
        m_log.calls.push_back("add");
        m_log.shown = true;
        return true;
    }
    void Remove() override {
        m_log.calls.push_back("remove");
        m_log.shown = false;
    }
    void ChangeIcon(const QIcon&) override { ++m_log.iconChanges; }
    void Click(Click click) { Clicked(click); }

private:
    Log& m_log;
};

} // namespace vireo::test
