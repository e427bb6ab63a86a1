#include "commands/TarGz.h"

#include <QDateTime>

#include <zlib.h>

#include <cstring>

namespace tallowmere::commands {

namespace {

constexpr int block = 512;

// An octal field of `size` bytes, zero-padded and ending in NUL.
void octal(char *field, int size, qint64 value)
{
    const QByteArray digits = QByteArray::number(value, 8).rightJustified(size - 1, '0');
    std::memcpy(field, digits.constData(), size_t(size - 1));
}

} // namespace

void TarGz::add(const QString &name, const QByteArray &content)
{
    char header[block] = {};
    const QByteArray path = name.toUtf8().left(99);
    std::memcpy(header, path.constData(), size_t(path.size()));
    octal(header + 100, 8, 0600);                                       // mode
    octal(header + 108, 8, 0);                                          // uid
    octal(header + 116, 8, 0);                                          // gid
    octal(header + 124, 12, content.size());                            // size
    octal(header + 136, 12, QDateTime::currentSecsSinceEpoch());        // mtime
    header[156] = '0';                                                  // a regular file
    std::memcpy(header + 257, "ustar\0" "00", 8);
    std::memset(header + 148, ' ', 8); // the checksum counts its own field as blanks
    unsigned sum = 0;
    for (unsigned char byte : header)
        sum += byte;
    octal(header + 148, 7, sum);
    m_tar.append(header, block);
    m_tar.append(content);
    m_tar.append(QByteArray((block - content.size() % block) % block, '\0'));
}

QByteArray TarGz::finish()
{
    m_tar.append(QByteArray(2 * block, '\0')); // the end of the archive
    z_stream stream{};
    if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        return {};
    QByteArray out(qsizetype(deflateBound(&stream, uLong(m_tar.size()))), '\0');
    stream.next_in = reinterpret_cast<Bytef *>(m_tar.data());
    stream.avail_in = uInt(m_tar.size());
    stream.next_out = reinterpret_cast<Bytef *>(out.data());
    stream.avail_out = uInt(out.size());
    const bool done = deflate(&stream, Z_FINISH) == Z_STREAM_END;
    out.resize(qsizetype(stream.total_out));
    deflateEnd(&stream);
    return done ? out : QByteArray();
}

} // namespace tallowmere::commands
