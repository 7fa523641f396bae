// The link of one run: opened once from the chosen settings (Init and
// SetConfig through the access layer), closed when the session ends, on
// every way out. Modules on it are identified one by one.
#pragma once

#include <string>

#include "LinkOpener.h"

#include "CommonOptions.h"
#include "OpenLink.h"
#include "core/NonCopyable.h"

namespace dqcli {

class LinkSession : dqcore::NonCopyable {
 public:
  explicit LinkSession(const LinkChoice& choice);
  ~LinkSession();

  // False with a message (UTF-8) when the link cannot be opened.
  bool Open(std::string& error);
  // False with a message when the module at address does not identify.
  bool Identify(uint8_t address, TModuleIdentity& identity, std::string& error);

  // Moves the open link into `out` (the library keeps no pointer into the
  // record, so a copy is the same link); this session then closes nothing.
  void HandOver(TConnectionConfig& out);

  const TConnectionConfig& Config() const { return config_; }
  uint8_t BaudCode() const { return baudCode_; }
  std::string Describe() const { return DescribeLink(config_, baudCode_); }

 private:
  // The record stays at one place: InitParams carry the address of its IP text.
  TConnectionConfig config_;
  uint8_t baudCode_;
  bool trace_;
  std::string traceFile_;
};

}  // namespace dqcli

#include <memory>

#include "ModuleAccess.h"

namespace dqcli {

// The one module a command works on, identified over its open link.
struct ConnectedModule {
  std::unique_ptr<LinkSession> session;
  uint8_t address = 0;
  TModuleIdentity identity;

  dqcommission::ModuleAccess Access() const { return {session->Config(), address}; }
};

// Chooses the link from the options, opens it and identifies the one
// module the options name. kExitOk, or the exit code after the error has
// been printed (usage 2, link 3).
int ConnectSingle(const CommonOptions& options, ConnectedModule& out);

// ConnectSingle as a LinkOpener: the open link handed over with
// ModuleAddress and BaudRate set.
LinkOpener SingleModuleOpener(const CommonOptions& options);

}  // namespace dqcli
