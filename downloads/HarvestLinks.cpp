// The point where a finished page marked "link to page" hands its contents over for its
// links to be harvested.
#include "common/ByteBuffer.h"
#include "downloads/VireoDoc.h"

namespace vireo {

void CVireoDoc::HarvestLinks(const ByteBuffer& /*page*/, const std::string& /*url*/) {
    // Harvesting the page's links is not built yet; the page is left as it was received.
}

} // namespace vireo
