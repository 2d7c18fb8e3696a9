// Objects in a local server: a program that keeps its objects in its own
// process and runs every call on its one thread, reached by clients through
// hand-written proxies.
//
// Client and server meet at a Unix-domain socket in the per-user runtime
// folder, one per class ("{CLSID}.sock"). A client connects, starting the
// server program when none answers; a lock file beside the socket
// ("{CLSID}.lock") is held while connecting or starting, so two clients
// starting at once never start two servers. Each connection owns one object,
// released when the connection closes, however the client ended. The server
// ends when it has held no connection for its idle time (5 s).
//
// Every message is a frame: a 32-bit length, then the payload. A call carries
// the method number and its arguments; the reply carries the HRESULT, the
// server's error information (description, source, IID) when the call set
// any, and the out values. A proxy packs arguments with WireWriter and reads
// results with WireReader; the stub in the server does the reverse.
//
// No wait of a client is open-ended: a server that does not answer a call
// within the call time (VEXA_LOCAL_SERVER_TIMEOUT_MS in the environment,
// else 30 s) fails the call with RPC_E_TIMEOUT, and the connection is given
// up. The files are split by role: LocalServerWire.cpp (values, frames,
// paths), LocalServerClient.cpp (connecting and calls) and
// LocalServerHost.cpp (the server loop).
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "platform/base/UniqueFd.h"
#include "platform/com/Interfaces.h"
#include "platform/com/Variant.h"

namespace vexa::com {

// Packs values for the wire: integers little-endian, GUIDs as 16 bytes,
// strings as a presence byte then UTF-16 code units, so null and empty
// BSTRs stay distinct.
class VEXA_COM_API WireWriter {
 public:
  void U32(std::uint32_t v);
  void I32(std::int32_t v) { U32(static_cast<std::uint32_t>(v)); }
  void Guid(const GUID& g);
  void String(BSTR s);
  void String(std::u16string_view s);
  const std::string& Data() const { return data_; }

 private:
  std::string data_;
};

// Reads what WireWriter packed. Every read checks the bytes left and fails
// (false) on a short or malformed message; nothing is read past the end.
class VEXA_COM_API WireReader {
 public:
  WireReader() = default;
  explicit WireReader(std::string_view data) : data_(data) {}
  bool U32(std::uint32_t* v);
  bool I32(std::int32_t* v);
  bool Guid(GUID* g);
  bool String(Bstr* s);
  bool AtEnd() const { return data_.empty(); }

 private:
  std::string_view data_;
};

// The client end of one connection, holding one object in the server.
class VEXA_COM_API LocalServerChannel {
 public:
  // Connects to the server of clsid, starting serverPath when none answers,
  // and has it create an object of clsid asked for iid. Errors:
  // CO_E_SERVER_EXEC_FAILURE when the server cannot be started or reached,
  // RPC_E_TIMEOUT when it does not answer, otherwise the server's result of
  // the creation. The thread's error information says what happened.
  static HRESULT Connect(REFCLSID clsid, const std::string& serverPath, REFIID iid,
                         std::unique_ptr<LocalServerChannel>* out);
  LocalServerChannel(const LocalServerChannel&) = delete;
  LocalServerChannel& operator=(const LocalServerChannel&) = delete;

  // Runs method `method` with the packed arguments and waits for the reply,
  // at most the call time. The server's error information replaces this
  // thread's (cleared when the call set none). *results reads the out
  // values and stays valid until the next call. A lost connection gives
  // RPC_E_DISCONNECTED, a server that does not answer in time
  // RPC_E_TIMEOUT; both with error information naming the server.
  HRESULT Call(std::uint32_t method, const WireWriter& args, WireReader* results);

  // The longest a call waits for its reply, in milliseconds.
  static int CallTimeoutMs();

 private:
  LocalServerChannel(base::UniqueFd fd, REFCLSID clsid, REFIID iid, std::string serverName)
      : fd_(std::move(fd)), clsid_(clsid), iid_(iid), serverName_(std::move(serverName)) {}
  HRESULT Exchange(const std::string& request, WireReader* results);

  base::UniqueFd fd_;
  CLSID clsid_;
  IID iid_;
  std::string serverName_;
  std::string reply_;
};

// The server side of one interface: unpacks the arguments of method
// `method`, calls `object` (the interface pointer asked for at creation) and
// packs the out values. A malformed call answers RPC_E_SERVERFAULT.
using StubFunction = HRESULT (*)(IUnknown* object, std::uint32_t method, WireReader& args,
                                 WireWriter& results);

struct LocalServerInterface {
  const IID* iid;
  StubFunction stub;
};

struct LocalServerClass {
  const CLSID* clsid;
  HRESULT (*create)(REFIID iid, void** ppv);
  std::span<const LocalServerInterface> interfaces;
};

struct LocalServerOptions {
  std::chrono::milliseconds idleTimeout{5000};
};

// Serves the classes until the server has held no connection for the idle
// time. Runs on the calling thread, which initialises the component core.
// Returns the program's exit code: 0, or 1 when it could not listen.
VEXA_COM_API int RunLocalServer(std::span<const LocalServerClass> classes, const LocalServerOptions& options = {});

// The socket of a class's server in the runtime folder ("" when the folder
// is unusable), and the file that receives the server's diagnostics.
VEXA_COM_API std::string LocalServerSocketPath(REFCLSID clsid);
VEXA_COM_API std::string LocalServerLogPath(REFCLSID clsid);

// Message kinds on the wire (first word of every request).
enum : std::uint32_t { kWireCreate = 1, kWireCall = 2 };

}  // namespace vexa::com
