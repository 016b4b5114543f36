#pragma once
// The outcome of an upload to several scales as JSON, one object per scale:
// what `scaledb send --report json` prints and the scales panel saves.
#include "ScaleFleet.h"

#include <QByteArray>
#include <QString>

#include <vector>

// "accepted", "failed" or "interrupted".
QString OutcomeWord(const TScaleResult& r);

QByteArray ReportJson(const std::vector<TTarget>& targets, const std::vector<TScaleResult>& results);
