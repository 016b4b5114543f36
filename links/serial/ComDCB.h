#pragma once
// The line-settings record the component builds and the OS layer applies. It
// keeps the shape of the Windows device-control block, so the component's
// rules (flag bits, limits, device values) stay testable without a device.
#include <cstdint>

struct TDCB {
    std::uint32_t DCBlength = 0;
    std::uint32_t BaudRate = 0;
    std::uint32_t Flags = 0;
    std::uint16_t wReserved = 0;
    std::uint16_t XonLim = 0;
    std::uint16_t XoffLim = 0;
    std::uint8_t ByteSize = 0;
    std::uint8_t Parity = 0;   // 0 none, 1 odd, 2 even, 3 mark, 4 space
    std::uint8_t StopBits = 0; // 0 one, 1 one and a half, 2 two
    char XonChar = 0;
    char XoffChar = 0;
    char ErrorChar = 0;
    char EofChar = 0;
    char EvtChar = 0;
    std::uint16_t wReserved1 = 0;
};

namespace dcb {
constexpr std::uint32_t fBinary = 0x0001;
constexpr std::uint32_t fParity = 0x0002;
constexpr std::uint32_t fOutxCtsFlow = 0x0004;
constexpr std::uint32_t fOutxDsrFlow = 0x0008;
constexpr std::uint32_t fDtrControlMask = 0x0030;
constexpr int fDtrControlShift = 4;
constexpr std::uint32_t fDsrSensitivity = 0x0040;
constexpr std::uint32_t fTXContinueOnXoff = 0x0080;
constexpr std::uint32_t fOutX = 0x0100;
constexpr std::uint32_t fInX = 0x0200;
constexpr std::uint32_t fErrorChar = 0x0400;
constexpr std::uint32_t fNull = 0x0800;
constexpr std::uint32_t fRtsControlMask = 0x3000;
constexpr int fRtsControlShift = 12;
constexpr std::uint32_t fAbortOnError = 0x4000;

// Device values of the DTR and RTS control fields.
constexpr std::uint32_t DtrDisable = 0, DtrEnable = 1, DtrHandshake = 2;
constexpr std::uint32_t RtsDisable = 0, RtsEnable = 1, RtsHandshake = 2, RtsToggle = 3;

constexpr std::uint32_t DtrControl(const TDCB& d) { return (d.Flags & fDtrControlMask) >> fDtrControlShift; }
constexpr std::uint32_t RtsControl(const TDCB& d) { return (d.Flags & fRtsControlMask) >> fRtsControlShift; }
}

// Device error flags (what the error query reports) and modem status bits.
namespace devflags {
constexpr std::uint32_t CE_RXOVER = 0x0001;
constexpr std::uint32_t CE_OVERRUN = 0x0002;
constexpr std::uint32_t CE_RXPARITY = 0x0004;
constexpr std::uint32_t CE_FRAME = 0x0008;
constexpr std::uint32_t CE_BREAK = 0x0010;
constexpr std::uint32_t CE_TXFULL = 0x0100;
constexpr std::uint32_t CE_IOE = 0x0400;
constexpr std::uint32_t CE_MODE = 0x8000;

constexpr std::uint32_t MS_CTS_ON = 0x10;
constexpr std::uint32_t MS_DSR_ON = 0x20;
constexpr std::uint32_t MS_RING_ON = 0x40;
constexpr std::uint32_t MS_RLSD_ON = 0x80;
}
