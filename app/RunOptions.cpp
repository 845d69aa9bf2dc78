#include "app/RunOptions.h"

#include "common/ByteBuffer.h"
#include "downloads/VireoDoc.h"
#include "settings/SettingsStore.h"

#include <QDir>
#include <QFileInfo>

namespace vireo {

bool ApplyRunOptions(const RunOptions& options, std::vector<ByteBuffer>& lists,
                     std::string& error) {
    SettingsStore& settings = Settings();
    if (!options.dir.empty()) {
        QString dir = QDir(QString::fromStdString(options.dir)).absolutePath();
        if (!QDir().mkpath(dir) || !QFileInfo(dir).isWritable()) {
            error = "cannot use download directory '" + options.dir + "'";
            return false;
        }
        settings.OverrideString(keys::DownPath, dir.toStdString());
    }
    if (options.jobs > 0)
        settings.OverrideInt(keys::MaxDown, options.jobs);
    lists.clear();
    lists.resize(options.inputs.size());
    for (size_t i = 0; i < lists.size(); ++i) {
        if (!lists[i].LoadFile(options.inputs[i])) {
            error = "cannot read list file '" + options.inputs[i] + "'";
            return false;
        }
    }
    return true;
}

void AddRunAddresses(CVireoDoc& doc, const RunOptions& options,
                     const std::vector<ByteBuffer>& lists) {
    if (!options.urls.empty() || lists.empty())
        doc.AddCommandLine(options.urls);
    for (const ByteBuffer& list : lists)
        doc.AddUrlsFromText(list.View());
}

} // namespace vireo
