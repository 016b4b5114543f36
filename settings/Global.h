#pragma once
// Process-wide settings, filled from config.xml at start and written back at
// close. Only the main thread reads or writes them.
#include "EthProtocol.h"

#include <QObject>
#include <QString>
#include <cstdint>

// Values of ConnectionKind, in the order of the connection dialog's choice.
enum TConnectionKind : std::int8_t { ckSerial = 0, ckEthernet = 1 };

extern std::int8_t ConnectionKind;   // a TConnectionKind
extern QString EthHost;              // scale address, as typed
extern std::int8_t EthProtocol;      // a TEthProtocol
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
