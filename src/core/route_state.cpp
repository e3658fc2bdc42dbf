#include "core/route_state.h"

BankMasks masks_from_states(const RouteStateTable& nState) {
  BankMasks m;
  for (int k = 1; k <= 8; ++k) {
    if (nState[k] == kEnergise) m.low |= static_cast<quint8>(1u << (k - 1));
    if (nState[k + 8] == kEnergise) m.high |= static_cast<quint8>(1u << (k - 1));
  }
  return m;
}

int get_bit(quint8 value, int n) { return (value >> n) & 1; }
