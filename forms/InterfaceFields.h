// The connection window's side of the interfaces: the caption of each in
// the interface list and the parameter fields it shows, by interface type.
// The interfaces themselves are listed once, in dqabi::kLibraries.
#pragma once

#include <QString>

#include "Dekl.h"

// Which parameter fields an interface shows below the interface list.
enum class TInterfaceFields {
  None,     // no parameters
  ComPort,  // the COM port number
  IsaBase,  // the ISA card's base address, as "300h"
  Lan,      // IP address, UDP port and UDP timeout
};

struct TInterfaceView {
  const char* caption;         // the item of the interface list (UTF-8)
  TInterfaceFields fields;
  const char* parameterLabel;  // the caption of the first field (UTF-8), or nullptr
};

// The view of `type`, which must be below kInterfaceTypeCount.
const TInterfaceView& InterfaceView(TInterfaceType type);
