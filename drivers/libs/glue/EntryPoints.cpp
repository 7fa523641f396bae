#include "EntryPoints.h"

#include "core/ErrorCodes.h"
#include "core/ErrorTexts.h"
#include "core/DriverAbi.h"

namespace dqglue {

HandleTable& LibraryTable() {
  static HandleTable table;
  return table;
}

int32_t OpenLink(HandleTable& table, int32_t* handle, const ChannelOpener& open) {
  if (handle == nullptr) return dqerr::kInvalidParameter;
  *handle = 0;
  if (table.Size() >= kMaxHandles) return dqerr::kTooManyHandles;
  std::shared_ptr<Channel> channel;
  int32_t code = open(channel);
  if (code != dqerr::kOk) return code;
  int32_t added = 0;
  code = table.Add(std::move(channel), added);
  if (code == dqerr::kOk) *handle = added;
  return code;
}

int32_t OpenSerialLink(HandleTable& table, int32_t* handle, const std::string& path,
                       dqbus::SerialLine::Locator again) {
  return OpenLink(table, handle, [&](std::shared_ptr<Channel>& channel) {
    std::unique_ptr<dqbus::SerialLine> port;
    const int32_t code = dqbus::SerialLine::Open(path, std::move(again), port);
    if (code == dqerr::kOk) channel = std::make_shared<Channel>(std::move(port));
    return code;
  });
}

int32_t SetConfig(HandleTable& table, int32_t handle, int32_t baudRate, int32_t timingMs, int32_t retries) {
  auto channel = table.Find(handle);
  if (!channel) return dqerr::kInvalidHandle;
  return channel->SetConfig(baudRate, timingMs, retries);
}

int32_t GetConfig(HandleTable& table, int32_t handle, int32_t* baudRate, int32_t* timingMs, int32_t* retries) {
  auto channel = table.Find(handle);
  if (!channel) return dqerr::kInvalidHandle;
  if (baudRate == nullptr || timingMs == nullptr || retries == nullptr) return dqerr::kInvalidParameter;
  dqbus::LinkSettings settings = channel->Settings();
  *baudRate = static_cast<int32_t>(settings.baudRate);
  *timingMs = settings.timingMs;
  *retries = settings.retries;
  return dqerr::kOk;
}

int32_t Send(HandleTable& table, int32_t handle, const uint32_t* request, uint32_t* reply, int32_t* count,
             int32_t* status) {
  int32_t code = dqerr::kOk;
  int32_t got = 0;
  auto channel = table.Find(handle);
  if (request == nullptr || reply == nullptr) {
    code = dqerr::kInvalidParameter;
  } else if (!channel) {
    code = dqerr::kInvalidHandle;
  } else {
    code = channel->Send(request, reply, got);
  }
  if (code != dqerr::kOk && reply != nullptr) {
    for (int i = 0; i < dqabi::kReplyWords; ++i) reply[i] = 0;
  }
  if (count != nullptr) *count = got;
  if (status != nullptr) *status = code;
  return code;
}

int32_t Trace(HandleTable& table, int32_t handle, dqabi::TraceCallback callback, void* context) {
  auto channel = table.Find(handle);
  if (!channel) return dqerr::kInvalidHandle;
  channel->Trace(callback, context);
  return dqerr::kOk;
}

int32_t Done(HandleTable& table, int32_t* handle) {
  if (handle == nullptr) return dqerr::kInvalidParameter;
  auto channel = table.Remove(*handle);
  *handle = 0;
  // No trace report after Done: waits for a Send of the link still running.
  if (channel) channel->EndTrace();
  // The link closes when the last user lets go of the channel: here, or
  // at the end of a Send still running on another thread.
  return channel ? dqerr::kOk : dqerr::kInvalidHandle;
}

int32_t Error(int32_t code, uint32_t* buffer) {
  if (buffer == nullptr) return dqerr::kInvalidParameter;
  dqerr::FillTextBuffer(code, buffer);
  return code >= 0 && code <= dqerr::kLastCode ? dqerr::kOk : dqerr::kInvalidParameter;
}

}  // namespace dqglue
