#pragma once
// What every main-window test starts from: fresh shared settings, a scratch
// settings folder, message boxes recorded instead of shown, and a window that
// neither ends the test when it closes nor needs the privileged UDP port.
#include "Global.h"
#include "MessageBoxRecorder.h"
#include "TestSupport.h"
#include "okno.h"

struct WindowTestEnv {
    WindowTestEnv()
    {
        ResetGlobals();
        TForm1::TerminateOnClose = false;
        TForm1::UdpLocalPort = 0;
    }
    ScratchAppFolder folder;
    MessageBoxRecorder boxes;
};
