#include "IniFile.h"

#include "AtomicFile.h"
#include "DateTimeText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <limits>

#include <sys/stat.h>

namespace vq {

namespace {

// Names compare without regard to case, ASCII letters only (see the class comment).
bool sameName(const QString &a, const QString &b)
{
    const QString x = a.trimmed();
    const QString y = b.trimmed();
    if (x.size() != y.size())
        return false;
    const auto fold = [](char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; };
    for (qsizetype i = 0; i < x.size(); ++i) {
        if (fold(x.at(i).unicode()) != fold(y.at(i).unicode()))
            return false;
    }
    return true;
}

QString unquote(const QString &value)
{
    if (value.size() >= 2) {
        const QChar first = value.front();
        if ((first == u'"' || first == u'\'') && value.back() == first)
            return value.mid(1, value.size() - 2);
    }
    return value;
}

void checkStorable(const QString &what, const QString &text, bool allowEmpty)
{
    if (!allowEmpty && text.trimmed().isEmpty())
        throw EIniFileError(QStringLiteral("An empty %1 cannot be stored in the configuration file.").arg(what));
    for (const QChar c : text) {
        if (c == u'\n' || c == u'\r' || c == u'\0')
            throw EIniFileError(
                QStringLiteral("The %1 \"%2\" contains a line break and cannot be stored in the configuration file.")
                    .arg(what, text.simplified()));
    }
}

} // namespace

IniFile::IniFile(const QString &fileName)
    : m_fileName(fileName)
{
}

std::optional<int> IniFile::ParseInteger(const QString &text)
{
    const QString t = text.trimmed();
    bool ok = false;
    qlonglong v = 0;
    if (t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) && t.size() > 2) {
        // Hexadecimal gives the bit pattern of a 32-bit integer ("0xFFFFFFFF" is -1).
        const qulonglong u = t.mid(2).toULongLong(&ok, 16);
        if (!ok || u > 0xFFFFFFFFull)
            return std::nullopt;
        return static_cast<int>(static_cast<quint32>(u));
    }
    // Decimal digits with an optional sign; no blanks, no grouping, no fraction.
    for (qsizetype i = 0; i < t.size(); ++i) {
        const QChar c = t.at(i);
        if (!(c.isDigit() && c.unicode() < 128) && !(i == 0 && (c == u'-' || c == u'+')))
            return std::nullopt;
    }
    v = t.toLongLong(&ok, 10);
    if (!ok || v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max())
        return std::nullopt;
    return static_cast<int>(v);
}

IniFile::Stamp IniFile::currentStamp() const
{
    struct stat st {};
    if (::stat(QFile::encodeName(m_fileName).constData(), &st) != 0)
        return {};
    Stamp s;
    s.exists = true;
    s.size = st.st_size;
    s.mtimeNs = static_cast<qint64>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    s.inode = st.st_ino;
    return s;
}

void IniFile::refresh() const
{
    const Stamp stamp = currentStamp();
    if (m_loaded && stamp == m_stamp)
        return;
    m_stamp = stamp;
    m_loaded = true;
    m_tooLarge = stamp.exists && stamp.size > kMaxFileSize;
    if (!stamp.exists || m_tooLarge) {
        parse({});
        return;
    }
    QFile file(m_fileName);
    parse(file.open(QIODevice::ReadOnly) ? file.read(kMaxFileSize + 1) : QByteArray());
}

IniFile::Line IniFile::parseLine(const QByteArray &raw)
{
    Line line;
    line.raw = raw;
    QByteArray body = raw;
    if (body.endsWith('\r'))
        body.chop(1);
    const QString text = QString::fromUtf8(body).trimmed();
    if (text.isEmpty()) {
        line.kind = Line::Blank;
    } else if (text.startsWith(u';')) {
        line.kind = Line::Comment;
    } else if (text.startsWith(u'[')) {
        line.kind = Line::Section;
        const qsizetype close = text.indexOf(u']');
        line.name = (close < 0 ? text.mid(1) : text.mid(1, close - 1)).trimmed();
    } else {
        line.kind = Line::Entry;
        const qsizetype eq = text.indexOf(u'=');
        if (eq < 0) {
            line.name = text;
        } else {
            line.name = text.left(eq).trimmed();
            line.value = unquote(text.mid(eq + 1).trimmed());
        }
    }
    return line;
}

void IniFile::parse(const QByteArray &bytes) const
{
    m_lines.clear();
    m_crlf = false;
    if (bytes.isEmpty())
        return;
    qsizetype start = 0;
    bool first = true;
    while (start < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', start);
        if (end < 0)
            end = bytes.size();
        Line line = parseLine(bytes.mid(start, end - start));
        start = end + 1;
        if (first && line.raw.endsWith('\r'))
            m_crlf = true;
        first = false;
        m_lines.push_back(std::move(line));
    }
}

int IniFile::findSection(const QString &section) const
{
    for (size_t i = 0; i < m_lines.size(); ++i) {
        if (m_lines[i].kind == Line::Section && sameName(m_lines[i].name, section))
            return static_cast<int>(i);
    }
    return -1;
}

int IniFile::sectionEnd(int header) const
{
    size_t i = static_cast<size_t>(header) + 1;
    while (i < m_lines.size() && m_lines[i].kind != Line::Section)
        ++i;
    return static_cast<int>(i);
}

int IniFile::findEntry(int header, const QString &key) const
{
    if (header < 0)
        return -1;
    const int end = sectionEnd(header);
    for (int i = header + 1; i < end; ++i) {
        if (m_lines[static_cast<size_t>(i)].kind == Line::Entry && sameName(m_lines[static_cast<size_t>(i)].name, key))
            return i;
    }
    return -1;
}

QString IniFile::ReadString(const QString &section, const QString &key, const QString &def) const
{
    refresh();
    const int i = findEntry(findSection(section), key);
    return i < 0 ? def : m_lines[static_cast<size_t>(i)].value;
}

int IniFile::ReadInteger(const QString &section, const QString &key, int def) const
{
    refresh();
    const int i = findEntry(findSection(section), key);
    if (i < 0)
        return def;
    return ParseInteger(m_lines[static_cast<size_t>(i)].value).value_or(def);
}

bool IniFile::ReadBool(const QString &section, const QString &key, bool def) const
{
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

QDateTime IniFile::ReadDateTime(const QString &section, const QString &key, const QDateTime &def) const
{
    const QString text = ReadString(section, key, QString());
    if (text.isEmpty())
        return def;
    return StrToDateTime(text).value_or(def);
}

QStringList IniFile::ReadSection(const QString &section) const
{
    refresh();
    QStringList keys;
    const int header = findSection(section);
    if (header < 0)
        return keys;
    const int end = sectionEnd(header);
    for (int i = header + 1; i < end; ++i) {
        const Line &line = m_lines[static_cast<size_t>(i)];
        if (line.kind != Line::Entry)
            continue;
        const bool seen = std::any_of(keys.cbegin(), keys.cend(),
                                      [&](const QString &k) { return sameName(k, line.name); });
        if (!seen)
            keys.append(line.name);
    }
    return keys;
}

bool IniFile::SectionExists(const QString &section) const
{
    refresh();
    return findSection(section) >= 0;
}

bool IniFile::ValueExists(const QString &section, const QString &key) const
{
    refresh();
    return findEntry(findSection(section), key) >= 0;
}

// New lines are read back exactly as the file will be read next time.
IniFile::Line IniFile::makeEntry(const QString &key, const QString &value) const
{
    return parseLine(key.toUtf8() + '=' + value.toUtf8() + (m_crlf ? "\r" : ""));
}

IniFile::Line IniFile::makeSection(const QString &section) const
{
    return parseLine('[' + section.toUtf8() + ']' + (m_crlf ? "\r" : ""));
}

void IniFile::setEntry(const QString &section, const QString &key, const QString &value)
{
    checkStorable(QStringLiteral("section name"), section, false);
    checkStorable(QStringLiteral("key"), key, false);
    checkStorable(QStringLiteral("value"), value, true);
    if (section.contains(u']'))
        throw EIniFileError(QStringLiteral("The section name \"%1\" contains \"]\" and cannot be stored in the configuration file.").arg(section));
    if (key.trimmed().startsWith(u'[') || key.trimmed().startsWith(u';'))
        throw EIniFileError(QStringLiteral("The key \"%1\" cannot begin with \"%2\" in the configuration file.")
                                .arg(key, key.trimmed().left(1)));

    int header = findSection(section);
    if (header < 0) {
        m_lines.push_back(makeSection(section));
        m_lines.push_back(makeEntry(key, value));
        return;
    }
    const int existing = findEntry(header, key);
    if (existing >= 0) {
        // Keep the spelling the file already uses for the key.
        m_lines[static_cast<size_t>(existing)] = makeEntry(m_lines[static_cast<size_t>(existing)].name, value);
        return;
    }
    // After the section's last non-blank line, so blank lines before the next section stay.
    int at = sectionEnd(header);
    while (at - 1 > header && m_lines[static_cast<size_t>(at - 1)].kind == Line::Blank)
        --at;
    m_lines.insert(m_lines.begin() + at, makeEntry(key, value));
}

void IniFile::store()
{
    if (m_tooLarge)
        throw EIniFileError(QStringLiteral("The configuration file %1 is larger than %2 MiB and is not changed; "
                                           "move it away to start with a fresh configuration.")
                                .arg(QDir::toNativeSeparators(m_fileName))
                                .arg(kMaxFileSize / (1024 * 1024)));
    QByteArray bytes;
    for (const Line &line : m_lines) {
        bytes += line.raw;
        bytes += '\n';
    }
    const QString reason = platform::WriteFileAtomically(m_fileName, bytes);
    if (!reason.isEmpty()) {
        m_loaded = false; // read the file as it stands on disk next time
        throw EIniFileError(QStringLiteral("The configuration file %1 could not be written: %2")
                                .arg(QDir::toNativeSeparators(m_fileName), reason));
    }
    m_stamp = currentStamp();
}

void IniFile::WriteString(const QString &section, const QString &key, const QString &value)
{
    refresh();
    setEntry(section, key, value);
    store();
}

void IniFile::WriteInteger(const QString &section, const QString &key, int value)
{
    WriteString(section, key, QString::number(value));
}

void IniFile::WriteBool(const QString &section, const QString &key, bool value)
{
    WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void IniFile::WriteDateTime(const QString &section, const QString &key, const QDateTime &value)
{
    WriteString(section, key, DateTimeToStr(value));
}

void IniFile::EraseSection(const QString &section)
{
    refresh();
    const int header = findSection(section);
    if (header < 0)
        return;
    m_lines.erase(m_lines.begin() + header, m_lines.begin() + sectionEnd(header));
    store();
}

void IniFile::DeleteKey(const QString &section, const QString &key)
{
    refresh();
    const int i = findEntry(findSection(section), key);
    if (i < 0)
        return;
    m_lines.erase(m_lines.begin() + i);
    store();
}

void IniFile::ReplaceSection(const QString &section, const Entries &entries)
{
    refresh();
    const std::vector<Line> before = m_lines;
    try {
        int header = findSection(section);
        if (header >= 0) {
            // Keep the header where it stands, so the section keeps its place in the file.
            m_lines.erase(m_lines.begin() + header + 1, m_lines.begin() + sectionEnd(header));
        } else {
            if (section.contains(u']'))
                throw EIniFileError(QStringLiteral("The section name \"%1\" contains \"]\" and cannot be stored in the configuration file.").arg(section));
            checkStorable(QStringLiteral("section name"), section, false);
            m_lines.push_back(makeSection(section));
        }
        for (const auto &[key, value] : entries)
            setEntry(section, key, value);
    } catch (...) {
        m_lines = before; // all or nothing
        throw;
    }
    store();
}

} // namespace vq
