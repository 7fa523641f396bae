#include "sim/simulator/CommandLine.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "sim/control/ControlCommands.h"
#include "Protocol.h"
#include "core/BaudRates.h"
#include "sim/model/Numbers.h"

namespace dqsim {

namespace {

bool ParseAddresses(const std::string& text, std::vector<uint8_t>& addresses) {
  addresses.clear();
  size_t start = 0;
  for (;;) {
    size_t comma = text.find(',', start);
    unsigned long value = 0;
    if (!ParseUnsigned(text.substr(start, comma - start), 255, value)) return false;
    addresses.push_back(static_cast<uint8_t>(value));
    if (comma == std::string::npos) return true;
    start = comma + 1;
  }
}

// Options without a value, and options whose value is a text that must
// not be empty (the message says what it names).
struct FlagOption {
  const char* name;
  bool SimOptions::*field;
  bool value;
};
constexpr FlagOption kFlagOptions[] = {
    {"-v", &SimOptions::verbose, true},        {"--verbose", &SimOptions::verbose, true},
    {"--pty", &SimOptions::pty, true},         {"--no-pty", &SimOptions::pty, false},
    {"--no-udp", &SimOptions::udp, false},     {"--no-input-pattern", &SimOptions::inputPattern, false},
    {"--wire-timing", &SimOptions::wireTiming, true}, {"--shared-address", &SimOptions::sharedAddresses, true},
};
struct TextOption {
  const char* name;
  std::string SimOptions::*field;
  const char* names;
};
const TextOption kTextOptions[] = {
    {"--state", &SimOptions::statePath, "a file"},     {"--port-map", &SimOptions::portMapPath, "a file"},
    {"--serial", &SimOptions::serialDevice, "a device"}, {"--bind", &SimOptions::udpBind, "an IPv4 address"},
    {"--control", &SimOptions::controlPath, "a path"},
};

}  // namespace

std::string HelpText() {
  return std::string(
             "Usage: dq7184-sim [OPTIONS]\n"
             "       dq7184-sim ctl --control PATH [COMMAND...]\n"
             "\n"
             "Simulates DQ-7184/9 I/O modules on one serial bus, so that W_DQ7184 and the\n"
             "driver libraries run without hardware. The modules are reached through\n"
             "  - a pseudo-terminal, for the COM-port library TCOM847.DLL: the path is\n"
             "    printed at start; --com N enters it as COMn into the drivers' port map;\n"
             "  - UDP on 127.0.0.1:5000, for the LAN converter library TDQ2847.DLL;\n"
             "  - optionally a real serial device.\n"
             "Each module answers only requests for its own address at its own baud rate\n"
             "(on the pseudo-terminal: the rate the driver set; over UDP: the baud code in\n"
             "the datagram header). Inputs change by themselves (a moving pattern), and\n"
             "counter n counts rising edges of input DINn while the counters run.\n"
             "A newly written address or baud code takes effect at the next power-up\n"
             "(the control command \"restart\" is a power cycle).\n"
             "\n"
             "Modules:\n"
             "  -a, --address A[,A...]  bus address of each module, 0-255 (default 0)\n"
             "      --shared-address    let --address name an address more than once: the\n"
             "                          modules at one address answer together and their\n"
             "                          replies collide on the bus (garbled bytes)\n"
             "  -b, --baud-code N       baud-rate code of new modules (default 4): 0=600 1=1200\n"
             "                          2=2400 3=4800 4=9600 5=19200 6=38400 7=57600 8=115200 Bd\n"
             "      --model TEXT        identification, 8 characters (default DQ7184/9)\n"
             "      --fw-version TEXT   version, 4 characters (default 1.03)\n"
             "      --no-input-pattern  inputs stay 0 until set through the control socket\n"
             "      --wire DOUTk=DINj[,...]  cables from outputs to inputs of every module: a\n"
             "                          wired input follows the output's driven state\n"
             "      --state FILE        non-volatile memory: registers, clock offset, power\n"
             "                          failure and the time last running; a gap since then is\n"
             "                          recorded as a power failure at start. Modules listed in\n"
             "                          the file take precedence over --address and --baud-code.\n"
             "Lines:\n"
             "      --pty, --no-pty     with (the default) or without a pseudo-terminal\n"
             "      --com N             enter the pseudo-terminal as COMn into the port map\n"
             "                          (removed again at exit)\n"
             "      --port-map FILE     port map file (default $DQ7184_PORTMAP, else\n"
             "                          ${XDG_CONFIG_HOME:-$HOME/.config}/dq7184/ports.conf)\n"
             "      --serial DEVICE     also serve a real serial device (at the first module's rate)\n"
             "      --no-udp            no UDP\n"
             "      --udp-port N        UDP port (default 5000; 0 picks a free one)\n"
             "      --bind ADDRESS      UDP address (default 127.0.0.1; name another address\n"
             "                          only to serve other machines)\n"
             "      --wire-timing       keep to the bus's timing: a reply begins 1 ms after the\n"
             "                          request's wire time, its bytes paced at the baud rate\n"
             "Control:\n"
             "      --control PATH      UNIX socket for control commands (below)\n"
             "  -v, --verbose           log every frame to stderr\n"
             "  -h, --help              this text\n"
             "\n"
             "SIGINT or SIGTERM end the simulator: it saves its state, removes its port-map\n"
             "entry and its control socket.\n"
             "\n"
             "Control commands (send with: dq7184-sim ctl --control PATH COMMAND..., or\n"
             "without COMMAND one per line from standard input; each answer ends with a\n"
             "line \"ok\" or \"error: ...\"):\n") +
         ControlHelpText() +
         "\n"
         "Example:\n"
         "  dq7184-sim --com 1 --control /tmp/dq.sock &\n"
         "  dq7184-sim ctl --control /tmp/dq.sock fault corrupt-crc next 2\n"
         "  dq7184-sim ctl --control /tmp/dq.sock show\n";
}

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
  CommandLine cl;
  auto fail = [&cl](const std::string& why) {
    cl.mode = CommandLine::kError;
    cl.error = why;
    return cl;
  };
  size_t i = 0;
  // "--name VALUE" or "--name=VALUE".
  auto value = [&](const std::string& arg, const std::string& name, std::string& out) -> int {
    if (arg == name) {
      if (i + 1 >= args.size()) return -1;
      out = args[++i];
      return 1;
    }
    if (arg.compare(0, name.size() + 1, name + "=") == 0) {
      out = arg.substr(name.size() + 1);
      return 1;
    }
    return 0;
  };

  if (!args.empty() && args[0] == "ctl") {
    cl.mode = CommandLine::kCtl;
    for (i = 1; i < args.size(); ++i) {
      std::string v;
      int got = value(args[i], "--control", v);
      if (got < 0) return fail("--control needs a path");
      if (got > 0) {
        cl.controlPath = v;
        continue;
      }
      if (args[i] == "--") {
        cl.command.insert(cl.command.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
        break;
      }
      cl.command.push_back(args[i]);
    }
    if (cl.controlPath.empty()) return fail("ctl needs --control PATH");
    return cl;
  }

  SimOptions& o = cl.options;
  for (i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    std::string v;
    unsigned long n = 0;
    int got = 0;
    if (arg == "-h" || arg == "--help") {
      cl.mode = CommandLine::kHelp;
      return cl;
    }
    bool matched = false;
    for (const FlagOption& flag : kFlagOptions) {
      if (arg != flag.name) continue;
      o.*flag.field = flag.value;
      matched = true;
    }
    for (const TextOption& text : kTextOptions) {
      if (matched || (got = value(arg, text.name, v)) == 0) continue;
      if (got < 0 || v.empty()) return fail(std::string(text.name) + " needs " + text.names);
      o.*text.field = v;
      matched = true;
    }
    if (matched) continue;
    if ((got = value(arg, "--address", v)) != 0 || (got = value(arg, "-a", v)) != 0) {
      if (got < 0 || !ParseAddresses(v, o.addresses)) return fail("--address wants addresses 0-255, A[,A...]");
    } else if ((got = value(arg, "--baud-code", v)) != 0 || (got = value(arg, "-b", v)) != 0) {
      if (got < 0 || !ParseUnsigned(v, dqcore::kBaudCodeCount - 1, n)) return fail("--baud-code wants 0-8");
      o.baudCode = static_cast<uint8_t>(n);
    } else if ((got = value(arg, "--model", v)) != 0) {
      if (got < 0 || v.empty() || v.size() > 8) return fail("--model wants 1-8 characters");
      o.identity.model = v;
    } else if ((got = value(arg, "--fw-version", v)) != 0) {
      if (got < 0 || v.empty() || v.size() > 4) return fail("--fw-version wants 1-4 characters");
      o.identity.version = v;
    } else if ((got = value(arg, "--wire", v)) != 0) {
      std::string why;
      if (got < 0 || v.empty()) return fail("--wire wants DOUTk=DINj[,...]");
      if (!Wiring::Parse(v, o.wiring, &why)) return fail("--wire: " + why);
    } else if ((got = value(arg, "--com", v)) != 0) {
      if (got < 0 || !ParseUnsigned(v, 65535, n) || n == 0) return fail("--com wants a port number 1-65535");
      o.comPort = static_cast<int>(n);
    } else if ((got = value(arg, "--udp-port", v)) != 0) {
      if (got < 0 || !ParseUnsigned(v, 65535, n)) return fail("--udp-port wants 0-65535");
      o.udpPort = static_cast<uint16_t>(n);
    } else {
      return fail("unknown option '" + arg + "' (see --help)");
    }
  }
  for (size_t a = 0; a < o.addresses.size() && !o.sharedAddresses; ++a) {
    if (std::count(o.addresses.begin(), o.addresses.end(), o.addresses[a]) > 1) {
      return fail("--address names " + std::to_string(o.addresses[a]) + " twice (allowed with --shared-address)");
    }
  }
  if (o.comPort > 0 && !o.pty) return fail("--com needs the pseudo-terminal (drop --no-pty)");
  if (!o.pty && !o.udp && o.serialDevice.empty()) return fail("no line left to serve: --no-pty and --no-udp without --serial");
  return cl;
}

}  // namespace dqsim
