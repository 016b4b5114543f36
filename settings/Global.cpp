#include "Global.h"

std::int8_t ConnectionKind = ckSerial;
QString EthHost;
std::int8_t EthProtocol = epTCP;
std::int32_t EthPort = 0;
QObject* MainWindowHandle = nullptr;
QString OrdersFileName;
bool WindRow = false;
std::int8_t WindRowMode = 0;
QString WindRowChar;
bool SaveASCII = false;
bool InsertTime = false;
bool ChangePointToColon = false;

void ResetGlobals()
{
    ConnectionKind = ckSerial;
    EthHost.clear();
    EthProtocol = epTCP;
    EthPort = 0;
    MainWindowHandle = nullptr;
    OrdersFileName.clear();
    WindRow = false;
    WindRowMode = 0;
    WindRowChar.clear();
    SaveASCII = false;
    InsertTime = false;
    ChangePointToColon = false;
}
