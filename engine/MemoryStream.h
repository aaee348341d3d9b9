#pragma once

#include <QByteArray>

#include <algorithm>
#include <cstdint>

namespace vq {

// Where a download's body goes. It counts every byte written and keeps them up to a limit:
// the page is kept for the parsers, an embedded file only counted (nobody reads it).
class TMemoryStream
{
public:
    // A page larger than this is measured in full; only its beginning is searched for images.
    static constexpr qsizetype kPageLimit = qsizetype(16) * 1024 * 1024;

    explicit TMemoryStream(qsizetype keepLimit = kPageLimit)
        : m_limit(keepLimit)
    {
    }

    void Write(const char *data, qsizetype length)
    {
        m_size += length;
        const qsizetype room = m_limit - m_data.size();
        if (room > 0)
            m_data.append(data, length < room ? length : room);
    }
    // The body's size as the server announced it: room for what will be kept, in one piece.
    void Expect(std::int64_t bytes)
    {
        if (bytes > 0 && m_data.isEmpty())
            m_data.reserve(qsizetype(std::min<std::int64_t>(bytes, m_limit)));
    }
    // Position 0, size 0.
    void Clear()
    {
        m_data.clear();
        m_size = 0;
    }

    const QByteArray &Data() const { return m_data; }
    std::int64_t Size() const { return m_size; } // every byte written, kept or not

private:
    QByteArray m_data;
    std::int64_t m_size = 0;
    qsizetype m_limit;
};

} // namespace vq
