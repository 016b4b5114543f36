#pragma once
// Fields of a process's /proc/PID/status, for the tests and benchmarks that
// watch memory or signal handlers from outside the code they measure.
#include <QByteArray>
#include <QtGlobal>

// The text after "Name:" ("1234 kB" for VmRSS), trimmed; empty when the
// process or the field is not there. pid 0 is this process.
QByteArray ProcStatusField(const QByteArray& name, qint64 pid = 0);
// A size field of this process ("VmRSS", "VmSize", "VmHWM") in bytes; -1 when not there.
qint64 ProcStatusBytes(const QByteArray& name);
