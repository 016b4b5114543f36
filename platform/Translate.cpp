#include "Translate.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

QString CportText(const char* text)
{
    return QCoreApplication::translate("cport", text);
}

namespace {

bool IsPlainLocale(const QString& name)
{
    return name.isEmpty() || name == QLatin1String("C") || name == QLatin1String("POSIX")
        || name.startsWith(QLatin1String("C."));
}

// "pl_PL.UTF-8@euro" -> "pl_PL": the codeset and modifier name no catalogue.
QString LanguageOf(QString name)
{
    name = name.left(name.indexOf('@'));
    return name.left(name.indexOf('.'));
}

} // namespace

QStringList MessageLanguages()
{
    QString messages;
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        messages = qEnvironmentVariable(variable);
        if (!messages.isEmpty())
            break;
    }
    if (IsPlainLocale(messages))
        return {};
    QStringList languages;
    for (const QString& entry : qEnvironmentVariable("LANGUAGE").split(':', Qt::SkipEmptyParts))
        if (!IsPlainLocale(entry))
            languages << LanguageOf(entry);
    languages << LanguageOf(messages);
    return languages;
}

QString InstallTranslations()
{
    for (const QString& language : MessageLanguages()) {
        auto* own = new QTranslator(QCoreApplication::instance());
        // "pl_PL" finds scaledb_pl_PL.qm, else scaledb_pl.qm; never the bare name.
        if (!own->load(QStringLiteral("scaledb_") + language, QStringLiteral(":/i18n"), QStringLiteral("_"))
            || own->language().isEmpty()) {
            delete own;
            continue;
        }
        QCoreApplication::installTranslator(own);
        auto* qt = new QTranslator(QCoreApplication::instance());
        if (qt->load(QStringLiteral("qtbase_") + own->language(), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            QCoreApplication::installTranslator(qt);
        else
            delete qt;
        return own->language();
    }
    return {};
}
