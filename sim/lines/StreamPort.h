// A byte-stream line the simulator listens on: its own pseudo-terminal or
// a real serial device. Reads and writes never block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/types.h>
#include <termios.h>

namespace dqsim {

// Raw 8N1 line at rate on an open terminal fd.
bool MakeRawLine(int fd, uint32_t rate, std::string* error);

class StreamPort {
 public:
  virtual ~StreamPort() = default;
  virtual int Fd() const = 0;
  virtual bool IsOpen() const = 0;
  virtual void Close() = 0;
  // The path a driver opens.
  virtual const std::string& Path() const = 0;
  // The rate the line runs at now; bytes at any other rate are not heard
  // by a module set to that rate. 0 when unknown.
  virtual uint32_t LineRate() const = 0;
  // Sets the line to rate (only a device of our own follows it).
  virtual void FollowModuleRate(uint32_t rate) = 0;
  virtual const char* Kind() const = 0;  // "pty", "serial"
  // True when the device itself sends and receives at the line rate (a
  // UART): a request has spent its wire time by the time it is read, and
  // bytes written at once leave one after another. A pseudo-terminal
  // passes bytes on at once, so the simulator paces them itself.
  virtual bool PacedByLine() const = 0;

  // >0 bytes read; 0 nothing now; -1 the line is gone.
  ssize_t Read(uint8_t* buffer, size_t size);
  // Writes what the line takes now; false when the line is gone.
  bool Write(const uint8_t* data, size_t size, size_t& written);
};

}  // namespace dqsim
