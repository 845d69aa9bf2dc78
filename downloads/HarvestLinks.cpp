// A finished page marked "link to page" hands its contents over here: every link it holds
// that passes the link filter is queued as a new entry.
#include "common/ByteBuffer.h"
#include "downloads/PageLinks.h"
#include "downloads/VireoDoc.h"

namespace vireo {

void CVireoDoc::HarvestLinks(const ByteBuffer& page, const std::string& url) {
    // The filter is read once per page, so a settings change applies to the next page.
    SetLinkFilter(LinkFilter::FromSettings());
    // Invalid and filtered links are dropped without a word: the user asked for the page,
    // not for each of its links.
    for (const std::string& link : PageLinks(page.View(), url))
        AddUrl(link, /*filtered*/ true);
}

} // namespace vireo
