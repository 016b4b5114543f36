#pragma once
// What a fleet's policies start from, for the command line and the scales
// panel alike: how often a scale may refuse a command, how long a reply and a
// link may take, how long a lost link is tried again, and the UDP port.
#include "EthProtocol.h"

#include <QtGlobal>

namespace FleetDefaults {
constexpr int Retries = 5;
constexpr int TimeoutSeconds = 10;
constexpr int ConnectTimeoutSeconds = 10;
constexpr int ReconnectSeconds = 30;
constexpr quint16 UdpPort = EthDefaultPort;
} // namespace FleetDefaults
