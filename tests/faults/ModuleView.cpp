#include "ModuleView.h"

#include "sim/simulator/Simulator.h"

namespace faults {

void SimModuleView::SetInputs(uint32_t physical) { sim_.SetInputs(0, physical); }
void SimModuleView::Pulse(int channel, uint32_t count) { sim_.Pulse(0, channel, count); }
uint32_t SimModuleView::Inputs() { return sim_.Snapshot(0).inputs; }
uint8_t SimModuleView::Register(uint8_t reg) { return sim_.Snapshot(0).registers[reg]; }
std::array<uint32_t, 32> SimModuleView::Counters() { return sim_.Snapshot(0).counters; }

}  // namespace faults
