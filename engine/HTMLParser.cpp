#include "HTMLParser.h"

#include "ResourceList.h"

#include <QStringDecoder>
#include <QUtf8StringView>

namespace vq {

namespace {

const QString kHttp = QStringLiteral("HTTP://");

bool In(const QString &value, std::initializer_list<const char16_t *> set)
{
    for (const char16_t *item : set) {
        if (value == QStringView(item))
            return true;
    }
    return false;
}

char16_t UpperAscii(char16_t c)
{
    return (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c;
}

// Position of needle in hay comparing ASCII letters without regard to case, or -1.
qsizetype IndexOfAsciiCI(QStringView hay, QStringView needle)
{
    const qsizetype n = needle.size();
    if (n == 0)
        return 0;
    const char16_t first = UpperAscii(needle.at(0).unicode());
    for (qsizetype i = 0; i + n <= hay.size(); ++i) {
        if (UpperAscii(hay.at(i).unicode()) != first)
            continue;
        qsizetype k = 1;
        while (k < n && UpperAscii(hay.at(i + k).unicode()) == UpperAscii(needle.at(k).unicode()))
            ++k;
        if (k == n)
            return i;
    }
    return -1;
}

} // namespace

QString AsciiUpper(const QString &text)
{
    QString out = text;
    QChar *p = out.data();
    const QChar *end = p + out.size();
    for (; p != end; ++p) {
        const char16_t c = p->unicode();
        if (c >= u'a' && c <= u'z')
            *p = QChar(char16_t(c - 32));
    }
    return out;
}

namespace {

// Calls f with each line of the text: lines end at CR, LF or CR LF, a NUL ends the text, and a
// final line break adds no empty line.
template <typename F>
void ForEachLine(QByteArrayView text, F f)
{
    const qsizetype nul = text.indexOf('\0');
    const qsizetype length = nul < 0 ? text.size() : nul;
    qsizetype start = 0;
    qsizetype i = 0;
    while (i < length) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            f(text.sliced(start, i - start));
            if (c == '\r' && i + 1 < length && text[i + 1] == '\n')
                ++i;
            start = ++i;
        } else {
            ++i;
        }
    }
    if (start < length)
        f(text.sliced(start, length - start));
}

bool IsUtf8(QByteArrayView text)
{
    const qsizetype nul = text.indexOf('\0');
    return QUtf8StringView(text.data(), nul < 0 ? text.size() : nul).isValidUtf8();
}

} // namespace

void THTMLParser::LoadFromBytes(const QByteArray &bytes)
{
    FHTML.clear();
    const bool utf8 = IsUtf8(bytes);
    ForEachLine(bytes, [this, utf8](QByteArrayView line) {
        FHTML.append(utf8 ? QString::fromUtf8(line) : QString::fromLatin1(line));
    });
}

void THTMLParser::ParseBytes(const QByteArray &bytes)
{
    int count = 0;
    ForEachLine(bytes, [&count](QByteArrayView) { ++count; });
    // ParseLines asks for the lines in order, so a cursor does: nothing per line is kept.
    const QByteArrayView text(bytes);
    const qsizetype nul = text.indexOf('\0');
    const qsizetype length = nul < 0 ? text.size() : nul;
    const bool utf8 = IsUtf8(bytes);
    qsizetype at = 0;
    QString decoded;
    ParseLines(count, [&](int) -> QStringView {
        qsizetype end = at;
        while (end < length && text[end] != '\r' && text[end] != '\n')
            ++end;
        const QByteArrayView line = text.sliced(at, end - at);
        at = end;
        if (at < length) {
            const char c = text[at++];
            if (c == '\r' && at < length && text[at] == '\n')
                ++at;
        }
        decoded = utf8 ? QString::fromUtf8(line) : QString::fromLatin1(line);
        return decoded;
    });
}

void THTMLParser::Parse()
{
    ParseLines(int(FHTML.size()), [this](int L) { return QStringView(FHTML.at(L - 1)); });
}

void THTMLParser::ParseLines(int count, const std::function<QStringView(int)> &lineAt)
{
    FParsed.Hyperlinks.clear();
    FParsed.Images.clear();
    FParsed.EMails.clear();
    FParsed.HTTPlinks.clear();
    FParsed.FTPlinks.clear();
    FParsed.Locallinks.clear();
    FParsed.FramePages.clear();
    // A tag or a run of text that lies within one line is handled as a view into the line; only
    // what continues on the next line is carried in a buffer. Of an open tag only the part from
    // its last "<" is carried, since the tag is what lies between the last "<" and the ">".
    QString tagBuffer;
    QString textBuffer;
    bool inTag = false;

    FLineCount = count;
    if (FLineCount == 0)
        return;
    for (int L = 1; L <= FLineCount; ++L) {
        FLine = L;
        const QStringView view = lineAt(L);
        if (view.isEmpty())
            continue;
        const qsizetype n = view.size();
        qsizetype start = 0; // where the open tag or the text run begins on this line
        qsizetype i = 0;
        while (i < n) {
            qsizetype run = i;
            if (inTag) {
                while (run < n && view[run] != u'>')
                    ++run;
            } else {
                while (run < n && view[run] != u'<')
                    ++run;
            }
            if (OnParsing) {
                for (qsizetype q = i; q < run && q < n; ++q)
                    OnParsing(this, L, FLineCount);
            }
            if (run == n)
                break;
            if (OnParsing)
                OnParsing(this, L, FLineCount);
            if (!inTag) {
                // "<": the text so far ends.
                if (!textBuffer.isEmpty() || run > start) {
                    if (textBuffer.isEmpty()) {
                        HandleText(view.sliced(start, run - start));
                    } else {
                        textBuffer += view.sliced(start, run - start);
                        HandleText(textBuffer);
                        textBuffer.clear();
                    }
                }
                inTag = true;
                start = run; // at the "<"
            } else {
                // ">": the tag is what follows its last "<".
                const QStringView here = view.sliced(start, run - start);
                const qsizetype open = here.lastIndexOf(u'<');
                if (open >= 0) {
                    HandleTag(here.sliced(open + 1));
                } else {
                    tagBuffer += here;
                    const qsizetype bufferedOpen = tagBuffer.lastIndexOf(u'<');
                    HandleTag(QStringView(tagBuffer).sliced(bufferedOpen + 1));
                }
                tagBuffer.clear();
                inTag = false;
                start = run + 1;
            }
            i = run + 1;
        }
        // Carry what goes on to the next line.
        if (L < FLineCount) {
            const QStringView rest = view.sliced(std::min(start, n));
            if (inTag) {
                const qsizetype open = rest.lastIndexOf(u'<');
                if (open >= 0)
                    tagBuffer = rest.sliced(open).toString();
                else
                    tagBuffer += rest;
            } else {
                textBuffer += rest;
            }
        }
        FLastLine = L;
    }
    // Text after the last tag is not reported, and an unclosed tag is dropped.
}

void THTMLParser::HandleText(QStringView text)
{
    if (FInTitle)
        FTitleText = text.toString();
    else if (OnFoundText)
        OnFoundText(this, text.toString());
}

void THTMLParser::HandleTag(QStringView tag)
{
    if (FInTitle && IndexOfAsciiCI(tag, FTitleEnd) < 0) {
        FTitleText += u'<';
        FTitleText += tag;
        FTitleText += u'>';
        return;
    }
    if (!tag.contains(QLatin1String("!--")) && OnFoundTag)
        OnFoundTag(this, tag.toString());

    const qsizetype blank = tag.indexOf(u' ');
    const QString name = AsciiUpper((blank < 0 ? tag : tag.left(blank)).toString());
    if (name == u"A") {
        HandleLink(AttributeValue(AttributeTextView(tag, u"href")));
    } else if (name == u"IMG") {
        if (FImageSink)
            FImageSink(AttributeValue(AttributeTextView(tag, u"src")));
        else
            FParsed.Images.append(AttributeValue(AttributeTextView(tag, u"src")));
    } else if (name == u"FRAME") {
        FParsed.FramePages.append(AttributeValue(AttributeTextView(tag, u"src")));
    } else if (name == u"META") {
        const QString metaName = AsciiUpper(AttributeValue(AttributeTextView(tag, u"name")));
        const QString content = AttributeValue(AttributeTextView(tag, u"content"));
        if (metaName == u"KEYWORD")
            FParsed.Keyword = content;
        else if (metaName == u"DESCRIPTION")
            FParsed.Description = content;
    } else if (name == u"!--") {
        if (OnFoundComment)
            OnFoundComment(this, tag.size() > 7 ? tag.sliced(4, tag.size() - 7).toString() : QString());
    } else if (name == u"TITLE") {
        FInTitle = true;
    } else if (name == u"/TITLE") {
        FInTitle = false;
        FParsed.Title = FTitleText;
        FTitleText.clear();
    }
}

void THTMLParser::HandleLink(const QString &link)
{
    const QString upper = AsciiUpper(link);
    const QString fileName = SplitURL(upper).FileName;
    const qsizetype dot = fileName.lastIndexOf(u'.');
    const QString ext = dot < 0 ? QString() : fileName.mid(dot);

    TLocalRemote *category = nullptr;
    if (ext.contains(QLatin1String("HTM")))
        category = &FParsed.HTML;
    else if (In(ext, {u".JPG", u".JPEG", u".GIF", u".TIF", u".PCX", u".PNG", u".BMP"}))
        category = &FParsed.Image;
    else if (In(ext, {u".AVI", u".MP3", u".AU", u".MOV", u".MPG", u".MPEG"}))
        category = &FParsed.Media;
    else if (In(ext, {u".JS", u".CLASS", u".JAVA"}))
        category = &FParsed.Java;
    else if (ext == u".ASP")
        category = &FParsed.ASP;
    else if (In(ext, {u".PL", u".CGI"}))
        category = &FParsed.PERL;
    else if (ext.contains(QLatin1String("PHP")))
        category = &FParsed.PHP;
    else if (ext == u".CAB")
        category = &FParsed.ActiveX;
    const bool remote = upper.contains(kHttp);
    if (category)
        (remote ? category->Remote : category->Local).append(link);

    if (upper.contains(QLatin1String("MAILTO:")))
        FParsed.EMails.append(link.mid(7));
    else if (upper.contains(QLatin1String("FTP://")))
        FParsed.FTPlinks.append(link);
    else if (remote)
        FParsed.HTTPlinks.append(link);
    else if (!upper.contains(QLatin1String("://")))
        FParsed.Locallinks.append(link);
    else if (OnFoundHyperlink)
        OnFoundHyperlink(this, link);
    FParsed.Hyperlinks.append(link);
}

TSplitURL SplitURL(const QString &link)
{
    TSplitURL out;
    QString rest;
    const qsizetype scheme = link.indexOf(QLatin1String("://"));
    if (scheme >= 0) {
        out.Protocol = link.left(scheme);
        rest = link.mid(scheme + 3);
    } else if (link.contains(QLatin1String("MAILTO:"))) {
        out.Protocol = QStringLiteral("MAILTO:");
        rest = link.mid(7);
    } else {
        out.Protocol = QStringLiteral("http");
        rest = link;
    }
    // Everything up to the last "/" is the path (the same as taking one "/" at a time).
    const qsizetype slash = rest.lastIndexOf(u'/');
    if (slash >= 0) {
        out.Path = rest.left(slash + 1);
        rest = rest.mid(slash + 1);
    }
    if (rest.contains(u'.')) {
        const qsizetype question = rest.indexOf(u'?');
        if (question >= 0) {
            out.FileName = rest.left(question);
            out.Query = rest.mid(question + 1);
        } else {
            out.FileName = rest;
        }
    } else {
        out.Path += rest;
        if (!out.Path.endsWith(u'/'))
            out.Path += u'/';
    }
    return out;
}

QStringView AttributeTextView(QStringView tag, QStringView attribute)
{
    if (attribute.isEmpty())
        return QStringView();
    const qsizetype start = IndexOfAsciiCI(tag, attribute);
    if (start < 0)
        return QStringView();
    bool quoted = false;
    qsizetype i = start;
    const qsizetype last = tag.size() - 1;
    for (; i < last; ++i) {
        const QChar c = tag[i];
        if (c == u'"')
            quoted = !quoted;
        else if ((c == u' ' && !quoted) || c == u'>')
            break;
    }
    return tag.sliced(start, i - start + 1);
}

QString AttributeText(const QString &tag, const QString &attribute)
{
    return AttributeTextView(tag, attribute).toString();
}

QString AttributeValue(QStringView attributeText)
{
    const qsizetype eq = attributeText.indexOf(u'=');
    QString value;
    bool quoted = false;
    qsizetype i = eq + 1;
    while (i < attributeText.size()) {
        // Everything up to the next quote or blank goes in at once.
        qsizetype j = i;
        while (j < attributeText.size() && attributeText[j] != u'"' && (quoted || attributeText[j] != u' '))
            ++j;
        value += attributeText.sliced(i, j - i);
        if (j == attributeText.size())
            break;
        if (attributeText[j] == u'"') {
            if (quoted)
                break;
            quoted = true;
        } else {
            break; // a blank outside quotes
        }
        i = j + 1;
    }
    return value;
}

QString AttributeValue(const QString &attributeText)
{
    return AttributeValue(QStringView(attributeText));
}

void ParseImagesBuiltIn(const QByteArray &page, TResourceList &list)
{
    // The images go straight into the list, which keeps each address once.
    THTMLParser parser;
    parser.FImageSink = [&list](const QString &src) { list.Add(src); };
    parser.ParseBytes(page);
}

} // namespace vq
