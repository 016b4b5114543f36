// Stands in for the settings file until it is built: the four virtual
// settings operations must exist for the component's vtable.
#include "CPort.h"

void TCustomComPort::WriteIniSettings(TIniFile&) {}
void TCustomComPort::ReadIniSettings(TIniFile&) {}
void TCustomComPort::WriteRegistrySettings(TRegistryKey&) {}
void TCustomComPort::ReadRegistrySettings(TRegistryKey&) {}
