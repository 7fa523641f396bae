#include "EndlessFrame.h"

#include <poll.h>
#include <unistd.h>

#include <cstdint>
#include <vector>

#include "Protocol.h"

namespace bench {

EndlessFrame::EndlessFrame(int dripMs) : dripMs_(dripMs), thread_([this] { Loop(); }) {}

EndlessFrame::~EndlessFrame() {
  stop_ = true;
  thread_.join();
}

void EndlessFrame::Loop() {
  dqbus::RequestStream requests;
  // Bytes of the current frame still to drip; fewer than its count and CRC
  // need, so that it never completes.
  size_t dripLeft = 0;
  while (!stop_) {
    pollfd wait{pty_.Master(), POLLIN, 0};
    const int ready = poll(&wait, 1, dripMs_);
    if (ready > 0 && (wait.revents & POLLIN) != 0) {
      uint8_t chunk[256];
      const ssize_t n = read(pty_.Master(), chunk, sizeof chunk);
      if (n <= 0) return;
      for (const dqbus::Request& request : requests.Feed(chunk, static_cast<size_t>(n))) {
        // A header of this request's reply announcing 64 data bytes.
        const uint8_t header[dqbus::kReplyHeaderSize] = {
            dqbus::kReplyStart, static_cast<uint8_t>(request.transaction & 0xFF),
            static_cast<uint8_t>(request.transaction >> 8), request.address, request.command, 0,
            static_cast<uint8_t>(dqbus::kReplyMaxData)};
        if (write(pty_.Master(), header, sizeof header) != static_cast<ssize_t>(sizeof header)) return;
        dripLeft = dqbus::kReplyMaxData;
      }
      continue;
    }
    if (ready == 0 && dripLeft > 0) {
      const uint8_t byte = 0;
      if (write(pty_.Master(), &byte, 1) != 1) return;
      --dripLeft;
    }
  }
}

}  // namespace bench
