#include "uicommon/common/Broadcast.h"

#include <list>
#include <map>
#include <memory>

namespace vexa::ui {

CParameter::~CParameter() = default;
CListener::~CListener() = default;

namespace {

// One channel: its subscriptions in order. While a delivery walks the list,
// removals only mark their entry dead (a tombstone), so every position a
// walk holds stays valid however receivers change the channel; dead entries
// are unlinked once no delivery is running on the channel.
class CChannel {
 public:
  virtual int Add(CListener* listener) {
    m_entries.push_back({listener, true});
    return ++m_count;
  }

  virtual int Remove(CListener* listener) {
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
      if (it->live && it->listener == listener) {
        if (m_depth > 0) {
          it->live = false;
        } else {
          m_entries.erase(it);
        }
        --m_count;
        break;
      }
    }
    return m_count;
  }

  virtual void Deliver(const std::string& name, CParameter* param) {
    ++m_depth;
    // end() is read afresh at each step, so listeners appended during the
    // walk are called in this same delivery.
    for (auto it = m_entries.begin(); it != m_entries.end() && m_count > 0; ++it) {
      if (it->live) it->listener->Receive(name, param);
    }
    if (--m_depth == 0) m_entries.remove_if([](const Entry& e) { return !e.live; });
  }

  int Count() const { return m_count; }

 private:
  struct Entry {
    CListener* listener;
    bool live;
  };
  std::list<Entry> m_entries;
  int m_count = 0;
  int m_depth = 0;
};

// The registry of channels by name. A channel whose last subscriber goes is
// taken out of the map at once (the next subscription on the name builds a
// fresh one); a delivery still running on it keeps it alive until it returns.
class CBroadcaster {
 public:
  virtual ~CBroadcaster() { m_channels.clear(); }

  virtual void AddListener(const std::string& name, CListener* listener) {
    auto& channel = m_channels[name];
    if (!channel) channel = std::make_shared<CChannel>();
    channel->Add(listener);
  }

  virtual void Broadcast(const std::string& name, CParameter* param) {
    auto found = m_channels.find(name);
    if (found == m_channels.end()) return;
    std::shared_ptr<CChannel> channel = found->second;
    channel->Deliver(name, param);
  }

  virtual void RemoveListener(const std::string& name, CListener* listener) {
    auto found = m_channels.find(name);
    if (found == m_channels.end()) return;
    if (found->second->Remove(listener) == 0) m_channels.erase(found);
  }

  int Count(const std::string& name) const {
    auto found = m_channels.find(name);
    return found == m_channels.end() ? 0 : found->second->Count();
  }
  bool Exists(const std::string& name) const { return m_channels.count(name) != 0; }

 private:
  std::map<std::string, std::shared_ptr<CChannel>> m_channels;
};

// Built when the library is loaded, destroyed when it is unloaded. Listeners
// that unsubscribe after that (static objects of other libraries) find it
// gone and do nothing.
bool g_gone = false;
struct Holder {
  CBroadcaster broadcaster;
  ~Holder() { g_gone = true; }
} g_holder;

}  // namespace

void AddListener(std::string channel, CListener* listener) {
  if (!g_gone) g_holder.broadcaster.AddListener(channel, listener);
}

void Broadcast(std::string channel, CParameter* param) {
  if (!g_gone) g_holder.broadcaster.Broadcast(channel, param);
}

void RemoveListener(std::string channel, CListener* listener) {
  if (!g_gone) g_holder.broadcaster.RemoveListener(channel, listener);
}

int ListenerCount(const std::string& channel) {
  return g_gone ? 0 : g_holder.broadcaster.Count(channel);
}
bool ChannelExists(const std::string& channel) {
  return !g_gone && g_holder.broadcaster.Exists(channel);
}

}  // namespace vexa::ui
