// Protocol frames and datagrams for the test suites and benchmarks, made
// with the codec of drivers/proto: what a driver sends, what a module or a
// converter answers.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "Protocol.h"

namespace dqtest {

std::vector<uint8_t> Bytes(std::initializer_list<int> values);

dqbus::Request Req(uint8_t address, uint8_t command, uint8_t subcode, std::array<uint8_t, 5> params = {},
                   uint16_t transaction = 0);
dqbus::Reply Rep(uint8_t address, uint8_t command, uint8_t status, std::vector<uint8_t> data,
                 uint16_t transaction = 0);

std::vector<uint8_t> RequestFrame(const dqbus::Request& request);
std::vector<uint8_t> ReplyFrame(uint8_t address, uint8_t command, uint8_t status, std::vector<uint8_t> data,
                                uint16_t transaction = 0);
// The reply to a request: its transaction number, address and command.
std::vector<uint8_t> ReplyTo(const dqbus::Request& request, uint8_t status, std::vector<uint8_t> data);

// A request frame behind the UDP header, as a driver sends it to the converter.
std::vector<uint8_t> RequestDatagram(const dqbus::Request& request, uint16_t sequence, uint8_t baudCode = 4);
// A reply frame (or any bytes) behind the converter's UDP header.
std::vector<uint8_t> ReplyDatagram(uint16_t sequence, const std::vector<uint8_t>& frame, uint8_t baudCode = 4);

}  // namespace dqtest
