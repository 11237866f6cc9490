// Figures of several rounds: a benchmark whose work and floor take turns
// compares their medians, which one slow round on a shared machine does not
// move.
#pragma once

#include <QString>
#include <QStringList>

#include <algorithm>
#include <vector>

inline double g_median(std::vector<double> seconds)
{
    std::sort(seconds.begin(), seconds.end());
    return seconds.empty() ? 0 : seconds[seconds.size() / 2];
}

// "1.234, 1.456, 1.345": each round's seconds, in the order they ran.
inline QString g_roundsText(const std::vector<double>& seconds)
{
    QStringList texts;
    for (double s : seconds)
        texts << QString::number(s, 'f', 3);
    return texts.join(QLatin1String(", "));
}
