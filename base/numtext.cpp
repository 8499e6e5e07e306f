// Reading and writing number texts.
#include "base/numtext.h"

#include <QRegularExpression>
#include <cmath>

namespace base {

double Val(const QString& text)
{
    QString compact;
    compact.reserve(text.size());
    for (const QChar c : text) {
        if (c != QLatin1Char(' ') && c != QLatin1Char('\t') && c != QLatin1Char('\n') && c != QLatin1Char('\r'))
            compact.append(c);
    }
    static const QRegularExpression leading(
        QStringLiteral("^[+-]?(\\d+\\.?\\d*|\\.\\d+)([eEdD][+-]?\\d+)?"));
    const QRegularExpressionMatch m = leading.match(compact);
    if (!m.hasMatch())
        return 0.0;
    QString number = m.captured(0);
    number.replace(QLatin1Char('d'), QLatin1Char('e')).replace(QLatin1Char('D'), QLatin1Char('e'));
    bool ok = false;
    const double value = number.toDouble(&ok);
    return ok && std::isfinite(value) ? value : 0.0;
}

bool IsNumeric(const QString& text)
{
    static const QRegularExpression whole(
        QStringLiteral("^\\s*[+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?\\s*$"));
    if (!whole.match(text).hasMatch())
        return false;
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    return ok && std::isfinite(value);
}

QString FormatTenths(double value)
{
    const double magnitude = std::fabs(value);
    // Beyond 15 digits before the point there is no tenth left to round.
    if (!std::isfinite(value) || magnitude >= 1e15)
        return QString::number(std::isfinite(value) ? value : 0.0, 'f', 1);
    // Round in decimal from the value's 15 significant digits, so that 12.35
    // (stored a hair below) still gives 12.4 as a person expects.
    const int digitsBefore = magnitude >= 1 ? static_cast<int>(std::floor(std::log10(magnitude))) + 1 : 1;
    const QString significant = QString::number(magnitude, 'f', 15 - digitsBefore);
    const qsizetype point = significant.indexOf(QLatin1Char('.'));
    const QString whole = point < 0 ? significant : significant.left(point);
    const QString fraction = point < 0 ? QString() : significant.mid(point + 1);
    const int first = fraction.size() > 0 ? fraction.at(0).digitValue() : 0;
    const int second = fraction.size() > 1 ? fraction.at(1).digitValue() : 0;
    const long long tenths = whole.toLongLong() * 10 + first + (second >= 5 ? 1 : 0);
    QString out = QString::number(tenths / 10) + QLatin1Char('.') + QString::number(tenths % 10);
    if (value < 0 && tenths != 0)
        out.prepend(QLatin1Char('-'));
    return out;
}

QString NormaliseRatioText(const QString& text)
{
    QString s = text;
    s.remove(QLatin1Char('%'));
    double r = IsNumeric(s) ? s.trimmed().toDouble() : 100.0;
    if (r < 1)
        r = 1;
    if (r > 100)
        r = 100;
    return FormatTenths(r) + QLatin1Char('%');
}

}  // namespace base
