// The process's limit on open descriptors: one per visitor and transfer.
#pragma once

namespace quill::cli {

// Raises the soft limit to the hard limit, so a busy server is not refused
// descriptors it is allowed to have.
void RaiseDescriptorLimit();

} // namespace quill::cli
