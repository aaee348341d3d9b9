#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace vq {

// The addresses one site test downloads after its page: kept sorted without regard to letter
// case, each distinct address once (an address equal to one already held, in any case, is
// ignored and the first spelling stays). Adding is cheap; the order is settled when the list is
// read, so a page with a hundred thousand images costs n log n, not n squared.
class TResourceList
{
public:
    // At most this many addresses are kept: a page that lists more is broken or hostile (ten
    // megabytes of "<img src=..>" would otherwise cost a gigabyte), and its first ones are
    // measured.
    static constexpr qsizetype kMaxEntries = 10000;

    void Add(const QString &entry);
    void AddStrings(const QStringList &entries);
    void Clear();

    // Replaces every entry by f(entry), then sorts again and drops the entries made equal.
    void Transform(const std::function<QString(const QString &)> &f);

    qsizetype Count() const;
    const QString &operator[](qsizetype index) const;
    QStringList Strings() const;

private:
    void settle() const;

    struct Entry {
        QString key; // case-folded, for ordering
        QString text;
    };
    mutable std::vector<Entry> m_entries;
    mutable qsizetype m_settled = 0; // entries before this index are sorted and distinct
    QSet<QString> m_keys;            // so that a repeated address costs nothing
};

} // namespace vq
