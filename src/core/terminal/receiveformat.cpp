#include "terminal/receiveformat.h"

namespace receive {

QString hexText(const QByteArray &bytes)
{
    static const char16_t digits[] = u"0123456789ABCDEF";
    QString text(bytes.size() * 2, Qt::Uninitialized);
    char16_t *out = reinterpret_cast<char16_t *>(text.data());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        *out++ = digits[b >> 4];
        *out++ = digits[b & 0x0F];
    }
    return text;
}

} // namespace receive
