#include "ScaleReport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

QString OutcomeWord(const TScaleResult& r)
{
    return r.State == TJobState::Accepted      ? QStringLiteral("accepted")
         : r.State == TJobState::Interrupted ? QStringLiteral("interrupted")
                                             : QStringLiteral("failed");
}

QByteArray ReportJson(const std::vector<TTarget>& targets, const std::vector<TScaleResult>& results)
{
    QJsonArray scales;
    for (std::size_t i = 0; i < results.size() && i < targets.size(); ++i)
        scales.append(QJsonObject{
            {QStringLiteral("link"), targets[i].Link},
            {QStringLiteral("name"), targets[i].Name},
            {QStringLiteral("outcome"), OutcomeWord(results[i])},
            {QStringLiteral("cause"), results[i].Cause},
            {QStringLiteral("records"), results[i].RecordsSent},
            {QStringLiteral("seconds"), results[i].Seconds},
            {QStringLiteral("reconnects"), results[i].Reconnects},
            {QStringLiteral("started_over"), results[i].StartedOver},
        });
    return QJsonDocument(scales).toJson(QJsonDocument::Indented);
}
