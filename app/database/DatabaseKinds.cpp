#include "DatabaseKinds.h"

#include <QCoreApplication>

namespace {
constexpr TDatabaseKind kStandard[] = {
    {QT_TRANSLATE_NOOP("DatabaseKinds", "product database"), "product", 0},
    {QT_TRANSLATE_NOOP("DatabaseKinds", "user database"), "user", 1},
};
constexpr TDatabaseKind kQd58[] = {
    {QT_TRANSLATE_NOOP("DatabaseKinds", "label database"), "label", 0},
    {QT_TRANSLATE_NOOP("DatabaseKinds", "user database"), "user", 1},
    {QT_TRANSLATE_NOOP("DatabaseKinds", "status database"), "status", 2},
};

// The window sends a kind's place in its list: the two must agree.
template <std::size_t N>
constexpr bool PositionsArePlaces(const TDatabaseKind (&kinds)[N])
{
    for (std::size_t i = 0; i < N; ++i)
        if (kinds[i].Position != static_cast<int>(i))
            return false;
    return true;
}
static_assert(PositionsArePlaces(kStandard) && PositionsArePlaces(kQd58));
}

std::span<const TDatabaseKind> DatabaseKinds(int deviceType)
{
    if (deviceType == 0)
        return kStandard;
    return kQd58;
}

QStringList DatabaseKindCaptions(int deviceType)
{
    QStringList captions;
    for (const TDatabaseKind& kind : DatabaseKinds(deviceType))
        captions << QCoreApplication::translate("DatabaseKinds", kind.Caption);
    return captions;
}

QStringList DatabaseKindWords(int deviceType)
{
    QStringList words;
    for (const TDatabaseKind& kind : DatabaseKinds(deviceType))
        words << QString::fromLatin1(kind.Word);
    return words;
}

int DatabaseKindPosition(int deviceType, const QString& word)
{
    for (const TDatabaseKind& kind : DatabaseKinds(deviceType))
        if (word == QLatin1String(kind.Word))
            return kind.Position;
    return -1;
}
