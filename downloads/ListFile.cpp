// Lists of addresses in text files: the last list between runs, and the files of the
// Open and Save commands.
#include "common/ByteBuffer.h"
#include "common/WriteFileAtomically.h"
#include "downloads/ListText.h"
#include "downloads/VireoDoc.h"
#include "engine/TextCoding.h"
#include "engine/UrlParts.h"
#include "settings/SettingsStore.h"

namespace vireo {

namespace {
constexpr const char* kListFilter = "Text files(*.txt)|*.txt|Any files (*.*)|*.*||";
constexpr const char* kListExtension = "txt";
constexpr const char* kLastListName = "/lastlist.txt";
} // namespace

bool CVireoDoc::AddUrlsFromText(std::string_view text) {
    if (text.empty())
        return false;
    // Blank lines and lines that are no address are passed over without a word.
    for (std::string_view line : SplitListText(text))
        AddUrl(NormalizeUrl(TrimText(line)), false);
    return true;
}

std::string CVireoDoc::ListText() const {
    std::string text;
    for (const auto& item : m_items) {
        text += item->Url();
        text += "\r\n";
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
    if (text.LoadFile(LastListPath()))
        AddUrlsFromText(text.View());
}

void CVireoDoc::OpenList() {
    std::optional<std::string> name;
    {
        ModalScope modal(*this);
        name = m_ui->AskOpenFileName(kListFilter, kListExtension);
    }
    ByteBuffer text;
    if (name && text.LoadFile(*name))
        AddUrlsFromText(text.View()); // appended after the entries already listed
}

void CVireoDoc::SaveList() {
    std::optional<std::string> name;
    {
        ModalScope modal(*this);
        name = m_ui->AskSaveFileName(kListFilter, kListExtension);
    }
    if (name)
        WriteFileAtomically(*name, ListText()); // a file that cannot be written is not
}

} // namespace vireo
