// Named broadcast channels between the UI objects of the thumbnail family.
// A sender names a channel and passes a payload; every listener subscribed to
// that name is called at once, on the sender's thread, before Broadcast
// returns. Receivers may subscribe, unsubscribe and broadcast from inside
// Receive; deliveries nest on the same stack.
#pragma once

#include <string>

#include "uicommon/common/CommonExport.h"

namespace vexa::ui {

// Payload of a broadcast. The sender owns it; receivers read it during
// Receive only. Photo channels carry the photo id (0: not about a photo).
class VEXATHUMCOMMON_API CParameter {
 public:
  CParameter() = default;
  explicit CParameter(int photoId) : m_photoId(photoId) {}
  virtual ~CParameter();
  int PhotoId() const { return m_photoId; }
  void PhotoId(int id) { m_photoId = id; }

 protected:
  int m_photoId = 0;
};

// Implemented by every receiver.
class VEXATHUMCOMMON_API CListener {
 public:
  virtual void Receive(std::string channel, CParameter* param) = 0;
  virtual ~CListener();
};

// Subscribes the listener to the channel (no duplicate check: a second
// subscription is a second delivery and needs a second removal).
VEXATHUMCOMMON_API void AddListener(std::string channel, CListener* listener);
// Delivers Receive(channel, param) to every subscriber, in subscription order.
VEXATHUMCOMMON_API void Broadcast(std::string channel, CParameter* param);
// Removes one subscription of the listener.
VEXATHUMCOMMON_API void RemoveListener(std::string channel, CListener* listener);

// Number of live subscriptions on a channel (0 when there is no channel),
// and whether a channel object exists for the name; for tests.
VEXATHUMCOMMON_API int ListenerCount(const std::string& channel);
VEXATHUMCOMMON_API bool ChannelExists(const std::string& channel);

}  // namespace vexa::ui
