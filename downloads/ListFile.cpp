// Lists of addresses in text files: the last list between runs, and the files of the
// Open and Save commands.
#include "common/ByteBuffer.h"
#include "common/SetAside.h"
#include "common/WriteFileAtomically.h"
#include "downloads/ListText.h"
#include "downloads/RecentLists.h"
#include "downloads/VireoDoc.h"
#include "engine/TextCoding.h"
#include "engine/UrlParts.h"
#include "settings/SettingsStore.h"

#include <QtGlobal>

namespace vireo {

namespace {
constexpr const char* kListFilter = "Text files(*.txt)|*.txt|Any files (*.*)|*.*||";
constexpr const char* kListExtension = "txt";
constexpr const char* kLastListName = "/lastlist.txt";
} // namespace

namespace {
// Lines of a list text that hold something and yet gave no entry, and text past a NUL.
bool ListLost(std::string_view text, int refused) {
    size_t nul = text.find('\0');
    return refused > 0 || (nul != std::string_view::npos &&
                           text.find_first_not_of(std::string_view("\0\r\n \t", 5), nul) !=
                               std::string_view::npos);
}
} // namespace

int CVireoDoc::AddListLines(std::string_view text) {
    int refused = 0;
    for (const ListLine& line : ParseListText(text)) {
        if (!line.problem.empty() || !AddUrl(NormalizeUrl(line.text), false, line.options))
            ++refused;
    }
    return refused;
}

bool CVireoDoc::AddUrlsFromText(std::string_view text) {
    if (text.empty())
        return false;
    // Blank lines and lines that are no address are passed over without a word.
    AddListLines(text);
    return true;
}

std::string CVireoDoc::ListText() const {
    std::string text;
    for (int i = 0; i < m_entries.Count(); ++i) {
        text += m_entries.Item(i).Url();
        text += "\r\n";
        text += ListOptionLines(m_entries.Item(i).Options());
    }
    return text;
}

std::string CVireoDoc::LastListPath() const {
    return Settings().GetString(keys::Cwd) + kLastListName;
}

void CVireoDoc::SaveLastList() {
    if (Settings().GetInt(keys::KeepList) == 0)
        return;
    WriteFileAtomically(LastListPath(), ListText()); // a failure is not reported
}

void CVireoDoc::RestoreLastList() {
    if (Settings().GetInt(keys::KeepList) == 0)
        return;
    ByteBuffer text;
    if (!text.LoadFile(LastListPath()))
        return;
    int refused = AddListLines(text.View());
    // The list is saved again as soon as it changes: what could not be taken from it is
    // kept aside first rather than written over.
    if (ListLost(text.View(), refused)) {
        std::string aside = SetAside(LastListPath());
        if (!aside.empty())
            qWarning("vireo: %d line(s) of the last list could not be taken; it was kept as %s",
                     refused, aside.c_str());
    }
}

void CVireoDoc::OpenList() {
    std::optional<std::string> name;
    {
        ModalScope modal(m_idle);
        name = m_ui->AskOpenFileName(kListFilter, kListExtension);
    }
    if (name)
        LoadListFile(*name); // one that cannot be read adds nothing
}

bool CVireoDoc::LoadListFile(const std::string& name) {
    ByteBuffer text;
    if (!text.LoadFile(name))
        return false;
    RecentLists::Note(name);
    AddUrlsFromText(text.View()); // appended after the entries already listed
    return true;
}

bool CVireoDoc::OpenListFile(const std::string& name) {
    if (LoadListFile(name))
        return true;
    // A name the File menu offered whose file is gone is offered no more.
    RecentLists::Forget(name);
    ModalScope modal(m_idle);
    m_ui->ShowMessage("Vireo", "Cannot open the list file\n" + name);
    return false;
}

void CVireoDoc::SaveList() {
    std::optional<std::string> name;
    {
        ModalScope modal(m_idle);
        name = m_ui->AskSaveFileName(kListFilter, kListExtension);
    }
    // A file that cannot be written is not reported, nor offered again.
    if (name && WriteFileAtomically(*name, ListText()))
        RecentLists::Note(*name);
}

} // namespace vireo
