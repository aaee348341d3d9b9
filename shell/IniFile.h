#pragma once

#include "Error.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <stdexcept>
#include <utility>
#include <vector>

namespace vq {

// A configuration file that could not be written (or a name that cannot be stored in one).
class EIniFileError : public Error
{
public:
    using Error::Error;
};

// Reader and writer of the INI format that the configuration is kept in, with the semantics of
// the Windows profile functions it was designed around:
//  - section and key names are compared without regard to case (ASCII letters only: "ä" and
//    "Ä" are two names, as they would be in the code page the format comes from);
//  - where a section or a key stands twice, the first occurrence counts;
//  - the order of the file is kept; keys before the first section are ignored;
//  - lines beginning with ";" are comments; a value's surrounding blanks and one pair of
//    matching quotes are dropped when it is read.
// Every write goes to the disk at once and replaces the file atomically (a temporary file, then a
// rename), so a crash or a full disk leaves the previous file whole. Lines that are not touched
// are written back byte for byte, so nothing a person wrote into the file is lost. Reads see
// changes made by any other writer, because the file is read again whenever it has changed.
class IniFile
{
public:
    using Entries = QList<std::pair<QString, QString>>;

    explicit IniFile(const QString &fileName);

    QString fileName() const { return m_fileName; }

    QString ReadString(const QString &section, const QString &key, const QString &def) const;
    int ReadInteger(const QString &section, const QString &key, int def) const;
    bool ReadBool(const QString &section, const QString &key, bool def) const;
    QDateTime ReadDateTime(const QString &section, const QString &key, const QDateTime &def) const;

    // Key names of a section in file order (the first of equal names only).
    QStringList ReadSection(const QString &section) const;
    bool SectionExists(const QString &section) const;
    bool ValueExists(const QString &section, const QString &key) const;

    void WriteString(const QString &section, const QString &key, const QString &value);
    void WriteInteger(const QString &section, const QString &key, int value);
    void WriteBool(const QString &section, const QString &key, bool value);
    void WriteDateTime(const QString &section, const QString &key, const QDateTime &value);
    void EraseSection(const QString &section);
    void DeleteKey(const QString &section, const QString &key);
    // Erases the section and writes the entries in order, in one replacement of the file. Of
    // entries whose names differ only in case, the first is kept.
    void ReplaceSection(const QString &section, const Entries &entries);

    // Integer parsing of the format: decimal, or hexadecimal after "0x"/"0X"; nothing else.
    static std::optional<int> ParseInteger(const QString &text);

    // Largest file read; a bigger one is not a configuration of ours and reads as empty.
    static constexpr qint64 kMaxFileSize = 16 * 1024 * 1024;

private:
    struct Line {
        enum Kind { Blank, Comment, Section, Entry };
        QByteArray raw; // the bytes as they stand in the file, without the line feed
        Kind kind = Blank;
        QString name;   // section or key name
        QString value;  // the value as read
    };
    struct Stamp {
        bool exists = false;
        qint64 size = -1;
        qint64 mtimeNs = -1;
        quint64 inode = 0;
        bool operator==(const Stamp &) const = default;
    };

    static Line parseLine(const QByteArray &raw);
    void refresh() const;
    void parse(const QByteArray &bytes) const;
    void store();
    Stamp currentStamp() const;

    int findSection(const QString &section) const;          // index of its header, or -1
    int sectionEnd(int header) const;                         // index after its last line
    int findEntry(int header, const QString &key) const;     // index of the entry, or -1
    Line makeEntry(const QString &key, const QString &value) const;
    Line makeSection(const QString &section) const;
    void setEntry(const QString &section, const QString &key, const QString &value);

    QString m_fileName;
    mutable std::vector<Line> m_lines;
    mutable bool m_crlf = false;
    mutable bool m_tooLarge = false;
    mutable Stamp m_stamp;
    mutable bool m_loaded = false;
};

} // namespace vq
