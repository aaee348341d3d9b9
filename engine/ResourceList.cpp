#include "ResourceList.h"

#include <algorithm>

namespace vq {

void TResourceList::Add(const QString &entry)
{
    if (m_keys.size() >= kMaxEntries)
        return;
    QString key = entry.toCaseFolded();
    if (m_keys.contains(key))
        return; // the first spelling stays
    m_keys.insert(key);
    m_entries.push_back({std::move(key), entry});
}

void TResourceList::AddStrings(const QStringList &entries)
{
    m_entries.reserve(m_entries.size() + std::size_t(entries.size()));
    for (const QString &entry : entries)
        Add(entry);
}

void TResourceList::Clear()
{
    m_entries.clear();
    m_keys.clear();
    m_settled = 0;
}

void TResourceList::Transform(const std::function<QString(const QString &)> &f)
{
    settle();
    m_keys.clear();
    for (Entry &e : m_entries) {
        e.text = f(e.text);
        e.key = e.text.toCaseFolded();
        m_keys.insert(e.key);
    }
    m_settled = 0;
}

void TResourceList::settle() const
{
    if (m_settled == qsizetype(m_entries.size()))
        return;
    // Stable, so that of several spellings of one address the one added first stays.
    std::stable_sort(m_entries.begin(), m_entries.end(),
                     [](const Entry &a, const Entry &b) { return a.key < b.key; });
    auto last = std::unique(m_entries.begin(), m_entries.end(),
                            [](const Entry &a, const Entry &b) { return a.key == b.key; });
    m_entries.erase(last, m_entries.end());
    m_settled = qsizetype(m_entries.size());
}

qsizetype TResourceList::Count() const
{
    settle();
    return qsizetype(m_entries.size());
}

const QString &TResourceList::operator[](qsizetype index) const
{
    settle();
    return m_entries.at(std::size_t(index)).text;
}

QStringList TResourceList::Strings() const
{
    settle();
    QStringList out;
    out.reserve(qsizetype(m_entries.size()));
    for (const Entry &e : m_entries)
        out.append(e.text);
    return out;
}

} // namespace vq
