#include "Frames.h"

namespace dqtest {

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
  std::vector<uint8_t> bytes;
  for (int value : values) bytes.push_back(static_cast<uint8_t>(value));
  return bytes;
}

dqbus::Request Req(uint8_t address, uint8_t command, uint8_t subcode, std::array<uint8_t, 5> params,
                   uint16_t transaction) {
  return dqbus::Request{transaction, address, command, subcode, params};
}

dqbus::Reply Rep(uint8_t address, uint8_t command, uint8_t status, std::vector<uint8_t> data,
                 uint16_t transaction) {
  return dqbus::Reply{transaction, address, command, status, data};
}

std::vector<uint8_t> RequestFrame(const dqbus::Request& request) {
  const auto frame = dqbus::EncodeRequest(request);
  return std::vector<uint8_t>(frame.begin(), frame.end());
}

std::vector<uint8_t> ReplyFrame(uint8_t address, uint8_t command, uint8_t status, std::vector<uint8_t> data,
                                uint16_t transaction) {
  return dqbus::EncodeReply(Rep(address, command, status, std::move(data), transaction));
}

std::vector<uint8_t> ReplyTo(const dqbus::Request& request, uint8_t status, std::vector<uint8_t> data) {
  return ReplyFrame(request.address, request.command, status, std::move(data), request.transaction);
}

std::vector<uint8_t> RequestDatagram(const dqbus::Request& request, uint16_t sequence, uint8_t baudCode) {
  dqbus::UdpHeader header;
  header.kind = dqbus::kUdpKindRequest;
  header.sequence = sequence;
  header.baudCode = baudCode;
  const auto frame = dqbus::EncodeRequest(request);
  return dqbus::EncodeUdp(header, frame.data(), frame.size());
}

std::vector<uint8_t> ReplyDatagram(uint16_t sequence, const std::vector<uint8_t>& frame, uint8_t baudCode) {
  dqbus::UdpHeader header;
  header.kind = dqbus::kUdpKindReply;
  header.sequence = sequence;
  header.baudCode = baudCode;
  return dqbus::EncodeUdp(header, frame.data(), frame.size());
}

}  // namespace dqtest
