#include "Launch.h"

#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// The options QGuiApplication and QApplication take for themselves, as Qt
// documents them; the first group takes a value (also as -option=value).
const char* const QtValueOptions[] = {"platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
                                      "qwindowicon", "qwindowtitle", "session", "display", "geometry", "style",
                                      "stylesheet", "qmljsdebugger", "dialogs", "fontengine"};
const char* const QtFlagOptions[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

const char* const Commands[] = {"send", "ports"};

void Refuse(const QString& text)
{
    std::fprintf(stderr, "scaledb: %s\n", text.toLocal8Bit().constData());
}

// Qt reads "-style" and "--style" alike; the name without dashes and value.
QString OptionName(const QString& arg)
{
    QString name = arg.mid(arg.startsWith(QLatin1String("--")) ? 2 : 1);
    return name.left(name.indexOf('='));
}

// 0 when arg is none of the window's options (Qt's and --scales FILE); else
// how many arguments it takes up.
int WindowOptionLength(const QString& arg)
{
    const QString name = OptionName(arg);
    if (arg.startsWith(QLatin1String("--scales")) && name == QLatin1String("scales"))
        return arg.contains('=') ? 1 : 2;
    for (const char* o : QtFlagOptions)
        if (name == QLatin1String(o) && !arg.contains('='))
            return 1;
    for (const char* o : QtValueOptions)
        if (name == QLatin1String(o))
            return arg.contains('=') ? 1 : 2;
    return 0;
}

// A word that is no file but a command misspelt: the command, or empty.
QString NearestCommand(const QString& word)
{
    QString best;
    int bestDistance = 3;  // at most two edits away
    for (const char* c : Commands) {
        const int d = EditDistance(word, QLatin1String(c));
        if (d < bestDistance) {
            bestDistance = d;
            best = QLatin1String(c);
        }
    }
    return best;
}

bool IsCommand(const QString& a)
{
    return a == QLatin1String("send") || a == QLatin1String("ports") || a == QLatin1String("--help")
        || a == QLatin1String("-h") || a == QLatin1String("--version");
}

// The window's one argument, the database to open: an existing file.
bool FileForWindow(const QString& arg)
{
    if (QFileInfo(arg).isFile())
        return true;
    const QString command = NearestCommand(arg);
    if (!command.isEmpty())
        Refuse(QStringLiteral("no file %1; did you mean `scaledb %2`?").arg(arg, command));
    else
        Refuse(QStringLiteral("no file %1").arg(arg));
    return false;
}

} // namespace

int EditDistance(const QString& a, const QString& b)
{
    std::vector<int> row(static_cast<std::size_t>(b.size()) + 1);
    for (std::size_t j = 0; j < row.size(); ++j)
        row[j] = static_cast<int>(j);
    for (qsizetype i = 1; i <= a.size(); ++i) {
        int diagonal = row[0];
        row[0] = static_cast<int>(i);
        for (qsizetype j = 1; j <= b.size(); ++j) {
            const auto k = static_cast<std::size_t>(j);
            const int next = std::min({row[k] + 1, row[k - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = row[k];
            row[k] = next;
        }
    }
    return row.back();
}

TLaunchKind DecideLaunch(const QStringList& args)
{
    if (args.size() > 1 && IsCommand(args.at(1)))
        return laCommandLine;
    int files = 0;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        if (arg.startsWith('-') && arg.size() > 1) {
            const int length = WindowOptionLength(arg);
            if (length == 0 || i + length > args.size()) {
                Refuse(length == 0 ? QStringLiteral("unknown option %1 (see --help)").arg(arg)
                                   : QStringLiteral("%1 needs a value").arg(arg));
                return laRefused;
            }
            i += length - 1;
        } else if (++files > 1) {
            Refuse(QStringLiteral("unexpected argument %1 (see --help)").arg(arg));
            return laRefused;
        } else if (!FileForWindow(arg)) {
            return laRefused;
        }
    }
    return laWindow;
}
