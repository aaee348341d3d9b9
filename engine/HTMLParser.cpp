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

void THTMLParser::LoadFromBytes(const QByteArray &bytes)
{
    FHTML.clear();
    qsizetype length = bytes.indexOf('\0');
    if (length < 0)
        length = bytes.size();
    const QByteArrayView text(bytes.constData(), length);
    const bool utf8 = QUtf8StringView(text.data(), text.size()).isValidUtf8();
    auto decode = [utf8](QByteArrayView line) {
        return utf8 ? QString::fromUtf8(line) : QString::fromLatin1(line);
    };
    qsizetype start = 0;
    qsizetype i = 0;
    while (i < length) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            FHTML.append(decode(text.sliced(start, i - start)));
            if (c == '\r' && i + 1 < length && text[i + 1] == '\n')
                ++i;
            start = ++i;
        } else {
            ++i;
        }
    }
    if (start < length)
        FHTML.append(decode(text.sliced(start)));
}

void THTMLParser::Parse()
{
    FParsed.Hyperlinks.clear();
    FParsed.Images.clear();
    FParsed.EMails.clear();
    FParsed.HTTPlinks.clear();
    FParsed.FTPlinks.clear();
    FParsed.Locallinks.clear();
    FParsed.FramePages.clear();
    QString tagBuffer;
    QString textBuffer;
    bool inTag = false;

    FLineCount = int(FHTML.size());
    if (FLineCount == 0)
        return;
    for (int L = 1; L <= FLineCount; ++L) {
        FLine = L;
        const QString &line = FHTML.at(L - 1);
        if (line.isEmpty())
            continue;
        const QChar *p = line.constData();
        const QChar *end = p + line.size();
        while (p != end) {
            // Runs of characters that change nothing go to their buffer in one piece.
            const QChar *run = p;
            if (inTag) {
                while (run != end && *run != u'>')
                    ++run;
            } else {
                while (run != end && *run != u'<')
                    ++run;
            }
            if (OnParsing) {
                for (const QChar *q = p; q != run; ++q)
                    OnParsing(this, L, FLineCount);
            }
            if (run != p) {
                (inTag ? tagBuffer : textBuffer).append(p, run - p);
                p = run;
                continue;
            }
            // *p is "<" outside a tag or ">" inside one.
            if (OnParsing)
                OnParsing(this, L, FLineCount);
            if (!inTag) {
                if (!textBuffer.isEmpty()) {
                    HandleText(textBuffer);
                    textBuffer.clear();
                }
                inTag = true;
                tagBuffer.append(u'<');
            } else {
                const qsizetype open = tagBuffer.lastIndexOf(u'<');
                HandleTag(tagBuffer.mid(open + 1));
                inTag = false;
                tagBuffer.clear();
            }
            ++p;
        }
        FLastLine = L;
    }
    // Text after the last tag is not reported, and an unclosed tag is dropped.
}

void THTMLParser::HandleText(const QString &text)
{
    if (FInTitle)
        FTitleText = text;
    else if (OnFoundText)
        OnFoundText(this, text);
}

void THTMLParser::HandleTag(const QString &tag)
{
    if (FInTitle && IndexOfAsciiCI(tag, FTitleEnd) < 0) {
        FTitleText += u'<' + tag + u'>';
        return;
    }
    if (!tag.contains(QLatin1String("!--")) && OnFoundTag)
        OnFoundTag(this, tag);

    const qsizetype blank = tag.indexOf(u' ');
    const QString name = AsciiUpper(blank < 0 ? tag : tag.left(blank));
    if (name == u"A") {
        HandleLink(AttributeValue(AttributeText(tag, QStringLiteral("href"))));
    } else if (name == u"IMG") {
        FParsed.Images.append(AttributeValue(AttributeText(tag, QStringLiteral("src"))));
    } else if (name == u"FRAME") {
        FParsed.FramePages.append(AttributeValue(AttributeText(tag, QStringLiteral("src"))));
    } else if (name == u"META") {
        const QString metaName = AsciiUpper(AttributeValue(AttributeText(tag, QStringLiteral("name"))));
        const QString content = AttributeValue(AttributeText(tag, QStringLiteral("content")));
        if (metaName == u"KEYWORD")
            FParsed.Keyword = content;
        else if (metaName == u"DESCRIPTION")
            FParsed.Description = content;
    } else if (name == u"!--") {
        if (OnFoundComment)
            OnFoundComment(this, tag.size() > 7 ? tag.mid(4, tag.size() - 7) : QString());
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

QString AttributeText(const QString &tag, const QString &attribute)
{
    if (attribute.isEmpty())
        return QString();
    const qsizetype start = IndexOfAsciiCI(tag, attribute);
    if (start < 0)
        return QString();
    bool quoted = false;
    qsizetype i = start;
    const qsizetype last = tag.size() - 1;
    for (; i < last; ++i) {
        const QChar c = tag.at(i);
        if (c == u'"')
            quoted = !quoted;
        else if ((c == u' ' && !quoted) || c == u'>')
            break;
    }
    return tag.mid(start, i - start + 1);
}

QString AttributeValue(const QString &attributeText)
{
    const qsizetype eq = attributeText.indexOf(u'=');
    QString value;
    bool quoted = false;
    for (qsizetype i = eq + 1; i < attributeText.size(); ++i) {
        const QChar c = attributeText.at(i);
        if (c == u'"') {
            if (quoted)
                break;
            quoted = true;
        } else if (c == u' ' && !quoted) {
            break;
        } else {
            value += c;
        }
    }
    return value;
}

void ParseImagesBuiltIn(const QByteArray &page, TResourceList &list)
{
    THTMLParser parser;
    parser.LoadFromBytes(page);
    parser.Parse();
    list.AddStrings(parser.Parsed().Images);
}

} // namespace vq
