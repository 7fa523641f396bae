#include "LinkSession.h"

#include "TraceOutput.h"
#include "Txxx847.h"

#include <ostream>

namespace dqcli {

LinkSession::LinkSession(const LinkChoice& choice)
    : config_(choice.config), baudCode_(choice.baudCode), trace_(choice.trace), traceFile_(choice.traceFile) {}

LinkSession::~LinkSession() { CloseLink(config_); }

void LinkSession::HandOver(TConnectionConfig& out) {
  out = config_;
  config_.Initialized = false;
  config_.DriverHandle = 0;
}

bool LinkSession::Open(std::string& error) {
  dqcommission::TraceWriter* writer = nullptr;
  if (trace_ && (writer = TraceWriterFor(traceFile_, error)) == nullptr) return false;
  PackInitParams(config_);
  TLinkOutcome outcome = StartLink(config_, baudCode_);
  if (outcome.Opened() && writer != nullptr) {
    // On before the identification, so that it is traced too.
    const int32_t code = DriverSetTrace(config_.InterfaceType, config_.DriverHandle,
                                        &dqcommission::TraceWriter::Callback, writer);
    if (code == 0) return true;
    CloseLink(config_);
    error = "the library of this interface cannot trace its frames (code " + std::to_string(code) + ")";
    return false;
  }
  if (outcome.Opened()) return true;
  error = "cannot open the link (" + Describe() + "): " + Utf8FromCp1250(outcome.Text) + " (code " +
          std::to_string(outcome.Code) + ")";
  return false;
}

bool LinkSession::Identify(uint8_t address, TModuleIdentity& identity, std::string& error) {
  TLinkOutcome outcome = IdentifyModule(config_, address, identity);
  if (outcome.Opened()) return true;
  error = "no module answers at address " + std::to_string(address) + " (" + Describe() +
          "): " + Utf8FromCp1250(outcome.Text) + " (code " + std::to_string(outcome.Code) + ")";
  return false;
}

}  // namespace dqcli

#include "ExitCodes.h"
#include "Terminal.h"

namespace dqcli {

int ConnectSingle(const CommonOptions& options, ConnectedModule& out) {
  LinkChoice choice;
  std::string error;
  if (!ChooseLink(options, choice, error)) {
    PrintError(error);
    return kExitUsage;
  }
  if (choice.addresses.size() != 1) {
    PrintError("this command takes one --address");
    return kExitUsage;
  }
  out.address = choice.addresses[0];
  out.session = std::make_unique<LinkSession>(choice);
  if (!out.session->Open(error) || !out.session->Identify(out.address, out.identity, error)) {
    PrintError(error);
    return kExitLink;
  }
  return kExitOk;
}

LinkOpener SingleModuleOpener(const CommonOptions& options) {
  // ConnectSingle reports on standard error, where the commands pass `err`.
  return [&options](TConnectionConfig& config, std::ostream&) {
    ConnectedModule module;
    if (const int code = ConnectSingle(options, module); code != kExitOk) return code;
    const uint8_t baudCode = module.session->BaudCode();
    module.session->HandOver(config);
    config.ModuleAddress = module.address;
    config.ModuleIdent = module.identity.TypeName + " v." + module.identity.Version;  // as OpenLink leaves it
    config.BaudRate = BaudRateFromCode(baudCode);
    return static_cast<int>(kExitOk);
  };
}

}  // namespace dqcli
