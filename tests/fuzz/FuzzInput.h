#pragma once

#include <QByteArray>
#include <QString>
#include <algorithm>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// Fails the run (libFuzzer reports a crash, the corpus replay a failed test) when a property does not hold.
#define FUZZ_CHECK(condition)                                                                                          \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            std::fprintf(stderr, "property does not hold: %s (%s:%d)\n", #condition, __FILE__, __LINE__);              \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (false)

// Takes choices off the front of a fuzzer's input; what is left is the data under test. Missing bytes read
// as zero, so every input, however short, is a valid case.
class FuzzInput
{
public:
    FuzzInput(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    uint8_t byte()
    {
        if (m_used >= m_size)
            return 0;
        return m_data[m_used++];
    }

    QByteArray bytes(size_t count)
    {
        count = std::min(count, m_size - m_used);
        QByteArray out(reinterpret_cast<const char*>(m_data + m_used), qsizetype(count));
        m_used += count;
        return out;
    }

    QByteArray rest() { return bytes(m_size - m_used); }

    // The rest as text: UTF-8 (always well formed), or, when raw is set, as UTF-16 code units taken
    // as they come (lone surrogates included), which is what a QString typed or pasted may hold.
    QString text(bool raw)
    {
        const QByteArray data = rest();
        if (!raw)
            return QString::fromUtf8(data);
        QString units(data.size() / 2, Qt::Uninitialized);
        std::memcpy(units.data(), data.constData(), size_t(units.size()) * sizeof(QChar));
        return units;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_used = 0;
};
