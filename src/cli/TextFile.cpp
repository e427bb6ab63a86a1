#include "cli/TextFile.h"

#include "cli/Errors.h"

#include <QFile>
#include <QStringDecoder>

namespace tallowmere {

QString readTextFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw FileError(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw FileError(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
    // Stateless: a sequence cut off at the end is an error, not a tail kept for more input.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        throw FileError(QStringLiteral("%1 is not UTF-8 text").arg(path));
    return text;
}

} // namespace tallowmere
