#pragma once

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// Reads the fuzzer's bytes as a sequence of small decisions and pieces.
class FuzzInput
{
public:
    FuzzInput(const uint8_t *data, size_t size) : m_data(data), m_size(size) {}

    bool empty() const { return m_pos >= m_size; }
    uint8_t byte() { return empty() ? 0 : m_data[m_pos++]; }
    uint16_t word() { return uint16_t(byte() | (byte() << 8)); }
    // Up to max bytes, fewer at the end of the input.
    QByteArray bytes(size_t max)
    {
        const size_t n = max < m_size - m_pos ? max : m_size - m_pos;
        QByteArray out(reinterpret_cast<const char *>(m_data + m_pos), qsizetype(n));
        m_pos += n;
        return out;
    }
    QByteArray rest() { return bytes(m_size - m_pos); }

private:
    const uint8_t *m_data;
    size_t m_size;
    size_t m_pos = 0;
};

// A broken invariant: print it and abort, so that libFuzzer keeps the input.
#define FUZZ_CHECK(cond)                                                                          \
    do {                                                                                          \
        if (!(cond)) {                                                                            \
            std::fprintf(stderr, "invariant broken: %s (%s:%d)\n", #cond, __FILE__, __LINE__);   \
            std::abort();                                                                         \
        }                                                                                         \
    } while (0)
