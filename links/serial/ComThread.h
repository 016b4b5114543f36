#pragma once
// The event thread of an open port. It sleeps in poll on the device and a wake
// event and hands each batch of device events to the port's notifications:
// with smThreadSync on the main thread, waiting until they have run.
#include "CPort.h"
#include "SerialDevice.h"

#include <memory>
#include <thread>

class TComThread {
public:
    // The port and the device must outlive the thread (Stop() before either goes).
    TComThread(TCustomComPort& port, const TSerialDevice& device, TComEvents events, TSyncMethod sync);
    ~TComThread();
    TComThread(const TComThread&) = delete;
    TComThread& operator=(const TComThread&) = delete;

    // 0, or the errno of why the thread could not start.
    int Start();
    // Ends the thread and waits for it; hand-overs it is waiting on run first.
    // Call on the main thread.
    void Stop();
    // Tells the thread that bytes were written, so it can report evTxEmpty.
    void Written();
    bool Running() const;
    // Runs what the thread queued for the main thread; the port's queued
    // call lands here.
    void RunQueued();

private:
    struct TShared;
    void Body();
    void Run();
    // False when a handler failed and the thread must end at once.
    bool HandOver(TComEvents events);
    void PostToMainThread();
    static void RunPending(const std::shared_ptr<TShared>& shared);
    static void RunWindowEvent(const std::shared_ptr<TShared>& shared);

    const TSerialDevice& device_;
    const TComEvents events_;
    const TSyncMethod sync_;
    std::shared_ptr<TShared> shared_;
    std::thread thread_;
};
