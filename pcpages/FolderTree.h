// Copying and emptying folder trees, for the support files of the pages.
#pragma once

#include <string>
#include <string_view>

namespace vexa::pcpages {

// Copies the tree of folder `from` into folder `to` (made when missing).
// Files are never overwritten; folders whose names begin with "." are
// skipped, and so are links to folders (a link to a file is copied as the
// file). The first failure ends the copy and answers false, with the reason
// in *why.
bool CopyTree(std::string_view from, std::string_view to, std::string* why = nullptr);

// Deletes everything inside `folder` but the folders whose names begin with
// "." (and the folder itself). An entry that cannot be deleted is tried once
// more after its folder was made writable. Links are removed, never
// followed. The first failure ends it and answers false.
bool EmptyTree(std::string_view folder, std::string* why = nullptr);

}  // namespace vexa::pcpages
