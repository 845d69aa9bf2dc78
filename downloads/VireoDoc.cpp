#include "downloads/VireoDoc.h"

#include "engine/TransferJob.h"

namespace vireo {

CVireoDoc::CVireoDoc(ListLines* view) : m_view(view) {}

CVireoDoc::~CVireoDoc() = default;

void CVireoDoc::Schedule() {}

void CVireoDoc::OnItemEvent(DownloadItem&, const ItemEvent&) {}

} // namespace vireo
