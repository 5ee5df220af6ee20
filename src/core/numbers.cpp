// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/numbers.h"

#include <cmath>
#include <limits>

#include <QRegularExpression>

#include "core/failure.h"

double readWholeNumber(const QString& text) {
    static const QRegularExpression kNumber(
        QStringLiteral("^[ \\t]*([+-]?(?:\\d+\\.?\\d*|\\.\\d+)(?:[eE][+-]?\\d+)?)[ \\t]*$"));
    const auto match = kNumber.match(text);
    if (!match.hasMatch()) throw Failure(QStringLiteral("Type mismatch"));
    bool ok = false;
    const double value = match.captured(1).toDouble(&ok);
    if (!ok || !std::isfinite(value)) throw Failure(QStringLiteral("Overflow"));
    return value;
}

double readLeadingNumber(const QString& text) {
    QString s;
    s.reserve(text.size());
    for (QChar c : text) {
        if (c != u' ' && c != u'\t' && c != u'\n') s.append(c);
    }
    qsizetype i = 0;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) ++i;
    const qsizetype digitsStart = i;
    while (i < s.size() && s[i].isDigit() && s[i].unicode() < 128) ++i;
    bool any = i > digitsStart;
    if (i < s.size() && s[i] == u'.') {
        const qsizetype fracStart = ++i;
        while (i < s.size() && s[i].isDigit() && s[i].unicode() < 128) ++i;
        any = any || i > fracStart;
    }
    if (!any) return 0.0;
    bool ok = false;
    const double value = s.left(i).toDouble(&ok);
    return ok && std::isfinite(value) ? value : 0.0;
}

int roundHalfEven(double value) {
    const double r = std::nearbyint(value);  // the default rounding mode: to nearest, ties to even
    if (!(r >= std::numeric_limits<int>::min() && r <= std::numeric_limits<int>::max()))
        throw Failure(QStringLiteral("Overflow"));
    return static_cast<int>(r);
}

qint32 checkedSub(qint32 a, qint32 b) {
    qint32 r = 0;
    if (__builtin_sub_overflow(a, b, &r)) throw Failure(QStringLiteral("Overflow"));
    return r;
}

QString makeAppTitle(const QString& productName) {
    QString title = productName;
    do {
        const qsizetype blank = title.lastIndexOf(u' ');
        if (blank < 0) break;
        title.truncate(blank);
    } while (title.size() > 40);
    return title;
}
