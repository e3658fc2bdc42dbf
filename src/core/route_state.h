#pragma once

#include <QtGlobal>
#include <array>

// The wanted state of every route: index r (1..16) for route r, index 0 belongs to no route.
// 0 = no request yet, 1 = release, 2 = energise. Only 2 sets a route's bit in a set frame.
using RouteStateTable = std::array<quint8, 17>;

enum RouteState : quint8 { kNoRequest = 0, kRelease = 1, kEnergise = 2 };

constexpr int kRouteCount = 16;

// The two banks of a frame or reply: high = routes 9..16 (bit k-1 = route k+8), low = routes 1..8.
struct BankMasks {
  quint8 high = 0;
  quint8 low = 0;
};

// Masks of the routes whose wanted state is 2.
BankMasks masks_from_states(const RouteStateTable& nState);

// 1 when bit n (0 = least significant) of value is set, else 0. n lies in 0..7.
int get_bit(quint8 value, int n);
