#include "InterfaceFields.h"

#include <iterator>

namespace {

const TInterfaceView kInterfaceViews[] = {
    {"Standardní COMx", TInterfaceFields::ComPort, "Číslo portu COMx"},
    {"ISA karta PCI-847", TInterfaceFields::IsaBase, "Bázová adresa PCI-847"},
    {"PCI karta PCI-2847", TInterfaceFields::None, nullptr},
    {"USB konvertor USB-2847", TInterfaceFields::None, nullptr},
    {"LAN konvertor DQ-2847", TInterfaceFields::Lan, "IP adresa"},
};
static_assert(std::size(kInterfaceViews) == kInterfaceTypeCount, "one view per interface type");

}  // namespace

const TInterfaceView& InterfaceView(TInterfaceType type) { return kInterfaceViews[type]; }
