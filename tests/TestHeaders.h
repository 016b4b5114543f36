// Qt headers that nearly every test includes; compiled once for all tests.
// Not QTest nor QSignalSpy: they read each test folder's own QT_TESTCASE_BUILDDIR, which would
// make the compiled header differ per folder.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTableView>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QUdpSocket>

#include <functional>
#include <memory>
#include <string>
#include <vector>
