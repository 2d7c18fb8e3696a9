// Outputs that would destroy inputs: a program that writes, replaces or
// empties a file or folder it was named asks here first whether that reaches
// something it was given to read.
#pragma once

#include "platform/base/Export.h"

#include <string>
#include <string_view>
#include <vector>

namespace vexa::base {

// Whether writing, replacing or emptying output could destroy input: output
// is input itself (the same device and inode, reached through any symbolic
// or hard link) or a folder that holds it at some depth, along the path as
// given or the path its links resolve to. An output that does not exist yet,
// or an input that does not, overlaps nothing.
VEXA_BASE_API bool OutputOverlapsInput(std::string_view output, std::string_view input);
// The same for an output already open as a descriptor (standard output sent
// to a file): whether it is input itself.
VEXA_BASE_API bool DescriptorIsInput(int fd, std::string_view input);
// The first of inputs that output overlaps, or "" when it overlaps none.
VEXA_BASE_API std::string OverlappedInput(std::string_view output, const std::vector<std::string>& inputs);

}  // namespace vexa::base
