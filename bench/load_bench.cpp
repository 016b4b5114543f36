// Loads one database file into the table and prints, on one line, the
// seconds the load took, the rows it gave and how far the resident memory
// peaked above what the process held before the load, then the seconds the
// check before sending takes over the loaded table (as for a UDP link, which
// checks the most) and how many findings it made:
//     <seconds> <rows> <peak growth in bytes> <check seconds> <findings>
// One file per process, so the peak belongs to that file alone.
#include "DatabaseCheck.h"
#include "DatabaseFile.h"
#include "GridTable.h"
#include "ProcStatus.h"

#include <QCoreApplication>
#include <QFile>

#include <chrono>
#include <cstdio>
#include <fstream>

namespace {
// Lowers VmHWM to the current RSS, so the peak seen later is the load's.
void ResetPeak()
{
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
}
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: load_bench FILE\n");
        return 2;
    }
    const QString path = QFile::decodeName(argv[1]);
    TGridTable table;
    ResetPeak();
    const long long before = ProcStatusBytes("VmRSS");
    const auto start = std::chrono::steady_clock::now();
    try {
        LoadDatabaseFile(path, table);
    } catch (const EInOutError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    const long long peak = ProcStatusBytes("VmHWM");
    const auto checkStart = std::chrono::steady_clock::now();
    const std::size_t findings = CheckDatabase(table, true).size();
    const std::chrono::duration<double> checked = std::chrono::steady_clock::now() - checkStart;
    std::printf("%.4f %d %lld %.4f %zu\n", took.count(), table.RowCount(), peak - before, checked.count(), findings);
    return 0;
}
