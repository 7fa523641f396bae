// The texts the driver layer can put into a window's status panel, so that
// a window can make its panel wide enough for the longest when it is created.
#pragma once

#include <QStringList>

// Every text the driver libraries give for a code (their table of codes
// 0-99 and the text of any other code) and the access layer's own texts,
// each without a leading blank.
const QStringList& DriverTexts();

// `prefix` before each of `texts`.
QStringList Prefixed(const QString& prefix, const QStringList& texts);
