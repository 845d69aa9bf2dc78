#include "downloads/VireoDoc.h"

#include "engine/TransferJob.h"

namespace vireo {

CVireoDoc::CVireoDoc(ListLines* view) : m_view(view) {}

CVireoDoc::~CVireoDoc() = default;

void CVireoDoc::Schedule() {}

} // namespace vireo
