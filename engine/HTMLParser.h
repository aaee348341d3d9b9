#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

namespace vq {

class TResourceList;

// A pair of link lists: links that contain "HTTP://" go to Remote, all others to Local.
class TLocalRemote
{
public:
    QStringList Local;
    QStringList Remote;
};

// Everything the scanner found on a page.
class TParsed
{
public:
    QStringList Hyperlinks; // every href of an A tag, in page order, empty ones too
    QStringList Images;     // every src of an IMG tag, in page order
    QStringList EMails;     // mailto: links without the scheme
    QStringList HTTPlinks;
    QStringList FTPlinks;
    QStringList Locallinks; // links without "://"
    QStringList FramePages; // every src of a FRAME tag
    TLocalRemote HTML;
    TLocalRemote Image;
    TLocalRemote Media;
    TLocalRemote Java;
    TLocalRemote ActiveX;
    TLocalRemote ASP;
    TLocalRemote PHP;
    TLocalRemote PERL;
    QString Title;
    QString Keyword;
    QString Description;
};

class THTMLParser;
using TOnParsing = std::function<void(THTMLParser *Sender, int Lines, int Total)>;
using TOnFoundHyperlink = std::function<void(THTMLParser *Sender, const QString &Hyperlink)>;
using TOnFoundTag = std::function<void(THTMLParser *Sender, const QString &Tag)>;
using TOnFoundText = std::function<void(THTMLParser *Sender, const QString &Text)>;
using TOnFoundComment = std::function<void(THTMLParser *Sender, const QString &Comment)>;

// A small, forgiving HTML scanner that needs no browser engine. It walks the page character by
// character, splits it into tags and text, and sorts what it finds into the lists of Parsed.
// Its rules are deliberately simple and are kept as they are, odd cases included: lines are
// joined without a separator, an attribute name is found anywhere in the tag ("src" inside
// "datasrc"), single quotes stay part of a value. Every step is linear in the page's length.
class THTMLParser
{
public:
    THTMLParser() = default;

    // The page, one line per item; assigning replaces the lines.
    const QStringList &HTML() const { return FHTML; }
    void setHTML(const QStringList &lines) { FHTML = lines; }
    // Loads the page from downloaded bytes: split into lines at CR, LF or CR LF; a NUL byte ends
    // the text. UTF-8 when the bytes are valid UTF-8, otherwise one character per byte.
    void LoadFromBytes(const QByteArray &bytes);

    TParsed &Parsed() { return FParsed; }
    const TParsed &Parsed() const { return FParsed; }

    // Fills Parsed from HTML, firing the events on the way.
    void Parse();
    // The same as LoadFromBytes and then Parse, without keeping the page as a list of lines
    // (HTML stays as it was): one line is decoded at a time.
    void ParseBytes(const QByteArray &bytes);

    TOnParsing OnParsing;
    TOnFoundHyperlink OnFoundHyperlink;
    TOnFoundTag OnFoundTag;
    TOnFoundText OnFoundText;
    TOnFoundComment OnFoundComment;

private:
    friend void ParseImagesBuiltIn(const QByteArray &page, TResourceList &list);
    void ParseLines(int count, const std::function<QStringView(int)> &lineAt);
    void HandleText(QStringView text);
    void HandleTag(QStringView tag);
    void HandleLink(const QString &link);

    QStringList FHTML;
    TParsed FParsed;
    int FLine = 0;         // the line being parsed (from 1)
    int FLastLine = 0;     // the last non-empty line finished
    int FLineCount = 0;
    bool FInTitle = false;
    QString FTitleText;    // the title being collected
    const QString FTitleEnd = QStringLiteral("/TITLE");
    // When set, the src of IMG tags goes here instead of into Parsed.Images.
    std::function<void(const QString &)> FImageSink;
};

// The parts of a link.
struct TSplitURL {
    QString Protocol;
    QString Path;
    QString Query;
    QString FileName;
};
TSplitURL SplitURL(const QString &link);

// The text of an attribute inside a tag: from the first occurrence of its name (any case) to
// the first blank outside double quotes, the first ">" or the tag's last character. Empty when
// the name does not occur.
QString AttributeText(const QString &tag, const QString &attribute);
// The value of an attribute text: after its first "=", up to a blank outside double quotes or
// the closing quote; double quotes are never part of it.
QString AttributeValue(const QString &attributeText);

// The same two routines on views, without copying the tag.
QStringView AttributeTextView(QStringView tag, QStringView attribute);
QString AttributeValue(QStringView attributeText);

// Upper case of ASCII letters only, so that positions in the result match the original.
QString AsciiUpper(const QString &text);

// The built-in way of finding a page's embedded files: the src of every IMG tag of the page.
void ParseImagesBuiltIn(const QByteArray &page, TResourceList &list);

} // namespace vq
