#pragma once
// Process-wide settings, filled from config.xml at start and written back at
// close. Only the main thread reads or writes them.
#include <QObject>
#include <QString>
#include <cstdint>

extern std::int8_t ConnectionKind;   // 0 serial port, 1 Ethernet
extern QString EthHost;              // scale address, as typed
extern std::int8_t EthProtocol;      // 0 TCP, 1 UDP
extern std::int32_t EthPort;         // scale port
extern QObject* MainWindowHandle;    // target of WM_LINKSTATE
extern QString OrdersFileName;
extern bool WindRow;
extern std::int8_t WindRowMode;
extern QString WindRowChar;
extern bool SaveASCII;
extern bool InsertTime;
extern bool ChangePointToColon;

// Puts every setting back to its start value (zero, false, empty); for tests.
void ResetGlobals();
