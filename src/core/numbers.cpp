// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/numbers.h"

#include <cmath>
#include <limits>

#include <QStringView>

#include "core/failure.h"

double readWholeNumber(const QString& text) {
    // Blanks, a signed decimal number with an optional exponent, blanks, and at most one
    // line feed at the very end. Read by hand: a regular expression would load its
    // library and compiler at start-up for this alone.
    qsizetype i = 0, end = text.size();
    if (end > 0 && text[end - 1] == u'\n') --end;
    const auto blank = [&](qsizetype k) { return text[k] == u' ' || text[k] == u'\t'; };
    while (i < end && blank(i)) ++i;
    while (end > i && blank(end - 1)) --end;
    const qsizetype start = i;
    const auto sign = [&] {
        if (i < end && (text[i] == u'+' || text[i] == u'-')) ++i;
    };
    const auto digits = [&] {
        const qsizetype from = i;
        while (i < end && text[i] >= u'0' && text[i] <= u'9') ++i;
        return i - from;
    };
    sign();
    qsizetype mantissa = digits();
    if (i < end && text[i] == u'.') {
        ++i;
        mantissa += digits();
    }
    bool valid = mantissa > 0;
    if (valid && i < end && (text[i] == u'e' || text[i] == u'E')) {
        ++i;
        sign();
        valid = digits() > 0;
    }
    if (!valid || i != end) throw Failure(QStringLiteral("Type mismatch"));
    bool ok = false;
    const double value = QStringView(text).mid(start, end - start).toDouble(&ok);
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
