// What the document does with the notifications of its items, and the password request
// that one of them raises.
#include "downloads/VireoDoc.h"

#include "common/ByteBuffer.h"
#include "engine/TextCoding.h"

#include <QMetaObject>
#include <QObject>

namespace vireo {

void CVireoDoc::OnItemEvent(DownloadItem& item, const ItemEvent& event) {
    switch (event.code) {
    case NotifyFailed:
        SetItemState(item, ItemState::Failed);
        Schedule();
        break;
    case NotifyFinished: {
        int index = IndexOf(item);
        if (index < 0)
            break;
        bool harvest = Row(index).linkToPage != 0;
        SetItemState(item, ItemState::Done); // stops the transfer and closes the file
        if (harvest)
            HarvestFile(item);
        Schedule();
        break;
    }
    case NotifyAttempt:
        RefreshRow(item);
        break;
    case NotifyMoreUrls:
        for (const std::string& url : event.urls)
            AddUrl(TrimText(url), false);
        break;
    case NotifyCredentials:
        PostCredentialsRequest(item);
        break;
    default: // written, started, address known: nothing to show yet
        break;
    }
}

void CVireoDoc::HarvestFile(DownloadItem& item) {
    ByteBuffer page;
    if (page.LoadFile(item.TargetPath()))
        HarvestLinks(page, item.Url());
}

void CVireoDoc::PostCredentialsRequest(DownloadItem& item) {
    // The dialog must not run inside the socket event that raised the request.
    if (!m_credentialRequests.insert(&item).second)
        return; // one dialog per item is on its way already
    DownloadItem* requested = &item;
    QMetaObject::invokeMethod(
        m_postTarget.get(),
        [this, requested] {
            if (m_credentialRequests.erase(requested) != 0)
                OnCredentialsNeeded(requested);
        },
        Qt::QueuedConnection);
}

void CVireoDoc::OnCredentialsNeeded(DownloadItem* item) {
    // By address only: the item may be gone, so it is not touched before it is found.
    if (m_entries.Find(item) < 0)
        return;
    DocumentUi::Credentials entered;
    DocumentUi::CredentialsAnswer answer;
    {
        ModalScope modal(m_idle);
        answer = m_ui->AskCredentials(item->Url(), entered);
    }
    int index = m_entries.Find(item); // the list may have changed while the dialog was open
    if (index < 0)
        return;
    switch (answer) {
    case DocumentUi::CredentialsAnswer::Entered:
        if (State(index) == ItemState::Running)
            SetItemState(*item, ItemState::Done); // stops the transfer, frees its slot
        item->SetCredentials(entered.user + ":" + entered.password);
        ChangeState(index, ItemState::Waiting);
        Schedule();
        break;
    case DocumentUi::CredentialsAnswer::Cancelled:
        break; // the transfer goes on and normally ends as unauthorized
    case DocumentUi::CredentialsAnswer::Refused: {
        ItemState state = State(index);
        if (state != ItemState::Running && state != ItemState::Waiting)
            break; // it has ended by itself meanwhile
        item->SetLastError(401);
        item->SetFailureCause({"no user name and password given", 0, 0});
        item->SetFlags(IF_FAILED);
        SetItemState(*item, ItemState::Failed);
        Schedule();
        break;
    }
    }
}

} // namespace vireo
