#include "terminal/gbk.h"

#include <QStringEncoder>

namespace gbk {

QByteArray encode(const QString &text)
{
    QStringEncoder enc("GBK");
    if (!enc.isValid())
        return text.toLocal8Bit();
    return enc.encode(text);
}

QString decode(const QByteArray &bytes)
{
    QStringDecoder dec("GBK");
    if (!dec.isValid())
        return QString::fromLocal8Bit(bytes);
    return dec.decode(bytes);
}

StreamDecoder::StreamDecoder() : m_decoder("GBK") {}

QString StreamDecoder::decode(const QByteArray &chunk)
{
    if (!m_decoder.isValid())
        return QString::fromLocal8Bit(chunk);
    return m_decoder.decode(chunk);
}

void StreamDecoder::reset()
{
    m_decoder.resetState();
}

} // namespace gbk
