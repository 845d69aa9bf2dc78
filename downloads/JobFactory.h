#pragma once
// The transfer class an address needs, chosen by its scheme.

#include "engine/JobHost.h"
#include "engine/TransferJob.h"
#include "engine/UrlParts.h"

#include <memory>
#include <string>

namespace vireo {

// The job for url, or null when this build has no transfer for its scheme.
std::unique_ptr<TransferJob> CreateTransferJob(JobHost* item, const std::string& url,
                                               const UrlParts& parts);

} // namespace vireo
