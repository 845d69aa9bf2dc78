#pragma once
// One running copy per session. The first window owns the program's name on the session
// bus; a later start with addresses hands them over to it and ends. The bus forgets the
// name of a copy that died, so a crashed copy never blocks the next start. Without a
// session bus every start runs on its own.

#include <QObject>
#include <QStringList>

#include <functional>

namespace vireo {

// What a start hands over: addresses one by one, and the texts of list files.
struct HandedOver {
    QStringList addresses;
    QStringList listTexts;
};

class RunningCopy : public QObject {
    Q_OBJECT
public:
    enum class Claim { Owned, OtherCopy, NoBus };

    explicit RunningCopy(QObject* parent = nullptr);
    ~RunningCopy() override;

    // Publishes the receiving object and asks for the name.
    Claim ClaimName();

    // add receives what other starts hand over and returns the addresses it refused;
    // raise shows the window. Requests that came before are passed on now.
    void SetReceiver(std::function<QStringList(const HandedOver&)> add,
                     std::function<void()> raise);

    // Hands addresses to the copy that owns the name, which also raises its window. False
    // (with the reason in error) when no copy answered; refused gets what it did not take.
    static bool HandOver(const HandedOver& what, QStringList& refused, QString& error,
                         int timeoutMs = 5000);

    // From the bus adaptors.
    QStringList Receive(const HandedOver& what);
    void Raise();

private:
    std::function<QStringList(const HandedOver&)> m_add;
    std::function<void()> m_raise;
    std::vector<HandedOver> m_early;
    bool m_raiseEarly = false;
    bool m_registered = false;
};

} // namespace vireo
