// Listeners of a directory: the directory structures that lay out its
// extent are told when it changes and when it goes away.
#include <algorithm>

#include "disclib/isofs/Tree_p.h"

namespace isofs {

void Directory::AddDirListener(I_DirListener* listener) {
  ISOFS_TRACE("Directory::AddDirListener") << ": Adding new listener: " << static_cast<const void*>(listener) << endl;
  listeners_.push_back(listener);
}

void Directory::RemoveDirListener(I_DirListener* listener) {
  if (!listener) {
    ThrowTrel<E_NullPointer>("Directory::RemoveDirListener", "Guard", __LINE__, "Null argument");
  }
  auto it = std::find(listeners_.begin(), listeners_.end(), listener);
  if (it == listeners_.end()) {
    ThrowTrel<E_InvalidObject>("Directory::RemoveDirListener", "Guard", __LINE__,
                               "Could not find the specified object to remove");
  }
  listeners_.erase(it);
}

void Directory::SendNotifyChange() {
  // A listener may not add or remove listeners while it is told.
  for (std::size_t i = 0; i < listeners_.size(); ++i) listeners_[i]->NotifyChange();
}

void Directory::SendNotifyDelete() {
  ISOFS_TRACE("Directory::SendNotifyDelete") << "Entering (listeners: " << listeners_.size() << ")" << endl;
  // A listener told of the deletion may remove itself; work on a copy.
  const std::vector<I_DirListener*> copy = listeners_;
  for (I_DirListener* l : copy) l->NotifyDelete();
}

}  // namespace isofs
