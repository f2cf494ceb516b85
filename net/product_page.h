// The plain parts of the update check: reading the product page's META
// lines, comparing versions, and the small text helpers of its windows.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringView>

namespace marlo::net {

enum class TVersionFormat { BuildNumber, SimpleString };

// One page line: true when it carries a tag; `name` and `value` get the
// quoted texts (either may come out empty on a malformed line).
bool ParseTagLine(QStringView line, QString* name, QString* value);

// The page as text in the charset it declares: its byte-order mark, else
// the charset of `contentType` (the HTTP header), else a META charset in its
// first 1024 bytes; UTF-8 when it declares none or one that is unknown. Any
// bytes are accepted (what cannot be decoded becomes U+FFFD).
QString DecodePage(const QByteArray& page, const QByteArray& contentType);

// Every tag of the page by name; a name found on several lines keeps the
// value of the last one.
QHash<QString, QString> ParseProductPage(const QByteArray& page, const QByteArray& contentType = {});

// True when `product` is a newer version than `current`.
bool IsNewerVersion(const QString& current, const QString& product, TVersionFormat format);

// The part of an address after its last "/".
QString FileNameOfUrl(const QString& url);

// "http://" or "https://" (any letter case) with at least 7 characters.
bool IsWebAddress(const QString& url);

// 1234567 -> "1,234,567".
QString GroupThousands(qint64 value);

// The progress window's lower line; `total` <= 0 means the size is unknown.
QString ProgressText(qint64 received, qint64 total);

}  // namespace marlo::net
