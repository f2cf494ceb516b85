#include "net/product_page.h"

#include <QRegularExpression>
#include <QStringDecoder>

namespace marlo::net {
namespace {

// The text between `from` and the next double quote, or empty when the quote
// never comes.
QString QuotedFrom(QStringView line, qsizetype from) {
  if (from >= line.size()) return {};
  const qsizetype end = line.indexOf(QLatin1Char('"'), from);
  if (end < 0) return {};
  return line.mid(from, end - from).toString();
}

// A version part as a number; anything that is not one counts as 0.
qlonglong PartValue(QStringView text) {
  bool ok = false;
  const qlonglong value = text.toLongLong(&ok);
  return ok ? value : 0;
}

QByteArray DeclaredCharset(const QByteArray& page, const QByteArray& contentType) {
  if (const auto bom = QStringConverter::encodingForData(page)) return QStringConverter::nameForEncoding(*bom);
  static const QRegularExpression header(QStringLiteral(R"(charset\s*=\s*["']?([^"';\s]+))"),
                                         QRegularExpression::CaseInsensitiveOption);
  if (const auto match = header.match(QString::fromLatin1(contentType)); match.hasMatch())
    return match.captured(1).toLatin1();
  // Browsers look for it this far into the page, and no further.
  static const QRegularExpression meta(QStringLiteral(R"(<meta\b[^>]*?\bcharset\s*=\s*["']?\s*([A-Za-z0-9._:+-]+))"),
                                       QRegularExpression::CaseInsensitiveOption);
  if (const auto match = meta.match(QString::fromLatin1(page.left(1024))); match.hasMatch())
    return match.captured(1).toLatin1();
  return {};
}

}  // namespace

QString DecodePage(const QByteArray& page, const QByteArray& contentType) {
  const QByteArray charset = DeclaredCharset(page, contentType);
  QStringDecoder decoder(charset.isEmpty() ? "UTF-8" : charset.constData());
  if (!decoder.isValid()) decoder = QStringDecoder(QStringDecoder::Utf8);
  return decoder.decode(page);
}

bool ParseTagLine(QStringView line, QString* name, QString* value) {
  static const QLatin1String kMarker("META HTTP-EQUIV");
  static const QLatin1String kContent("CONTENT=");
  const qsizetype at = line.indexOf(kMarker, 0, Qt::CaseInsensitive);
  if (at < 0) return false;
  // The name starts after the '="' that follows the marker.
  *name = QuotedFrom(line, at + kMarker.size() + 2);
  const qsizetype content = line.indexOf(kContent, 0, Qt::CaseSensitive);
  *value = content < 0 ? QString() : QuotedFrom(line, content + kContent.size() + 1);
  return true;
}

QHash<QString, QString> ParseProductPage(const QByteArray& page, const QByteArray& contentType) {
  QHash<QString, QString> tags;
  const QString text = DecodePage(page, contentType);
  const QStringView all(text);
  qsizetype start = 0;
  while (start <= all.size()) {
    qsizetype end = start;
    while (end < all.size() && all[end] != QLatin1Char('\r') && all[end] != QLatin1Char('\n')) ++end;
    QString name, value;
    if (ParseTagLine(all.mid(start, end - start), &name, &value) && !name.isEmpty()) tags.insert(name, value);
    if (end >= all.size()) break;
    // CR LF is one break.
    if (all[end] == QLatin1Char('\r') && end + 1 < all.size() && all[end + 1] == QLatin1Char('\n')) ++end;
    start = end + 1;
  }
  return tags;
}

bool IsNewerVersion(const QString& current, const QString& product, TVersionFormat format) {
  if (format == TVersionFormat::SimpleString) return product.toUtf8() > current.toUtf8();
  QStringView cur(current), prod(product);
  for (;;) {
    const qsizetype curDot = cur.indexOf(QLatin1Char('.'));
    const qsizetype prodDot = prod.indexOf(QLatin1Char('.'));
    const qlonglong curValue = PartValue(curDot < 0 ? cur : cur.left(curDot));
    const qlonglong prodValue = PartValue(prodDot < 0 ? prod : prod.left(prodDot));
    if (curValue < prodValue) return true;
    if (curValue > prodValue) return false;
    // The running version decides how many parts count.
    if (curDot < 0) return false;
    cur = cur.mid(curDot + 1);
    if (prodDot >= 0) prod = prod.mid(prodDot + 1);
  }
}

QString FileNameOfUrl(const QString& url) { return url.mid(url.lastIndexOf(QLatin1Char('/')) + 1); }

bool IsWebAddress(const QString& url) {
  return url.size() >= 7 && (url.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) ||
                             url.startsWith(QLatin1String("https://"), Qt::CaseInsensitive));
}

QString GroupThousands(qint64 value) {
  const bool negative = value < 0;
  QString digits = QString::number(value);
  if (negative) digits.remove(0, 1);
  for (qsizetype at = digits.size() - 3; at > 0; at -= 3) digits.insert(at, QLatin1Char(','));
  return negative ? QLatin1Char('-') + digits : digits;
}

QString ProgressText(qint64 received, qint64 total) {
  if (total <= 0) return QStringLiteral("%1 bytes received.").arg(GroupThousands(received));
  return QStringLiteral("%1 of %2 bytes received.").arg(GroupThousands(received), GroupThousands(total));
}

}  // namespace marlo::net
