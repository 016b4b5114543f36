#pragma once
// The Ethernet link's protocols, numbered as config.xml and the connection
// dialog keep them, and the port the scales' protocol uses by default.
#include <QtGlobal>

#include <cstdint>

// Values of EthProtocol.
enum TEthProtocol : std::int8_t { epTCP = 0, epUDP = 1 };

// A scale's port, and the local port its UDP replies come to.
constexpr quint16 EthDefaultPort = 1001;
