#pragma once

#include <QByteArray>
#include <QString>
#include <QStringDecoder>

// Text in files and in text-mode port data is GBK (code page 936).
namespace gbk {
QByteArray encode(const QString &text);
QString decode(const QByteArray &bytes);

// A decoder that keeps its state between chunks, so a double-byte character
// split across two receive events comes out whole.
class StreamDecoder
{
public:
    StreamDecoder();
    QString decode(const QByteArray &chunk);
    void reset();

private:
    QStringDecoder m_decoder;
};
} // namespace gbk
