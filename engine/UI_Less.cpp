#include "UI_Less.h"

#include "ResourceList.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSet>
#include <QUrl>

#include <libxml/HTMLparser.h>
#include <libxml/parser.h>

#include <cstring>

namespace vq {

namespace {

bool IsUrlSpace(QChar c)
{
    return c.unicode() <= 0x20; // C0 controls and the blank
}

QString CleanSource(const QString &src)
{
    qsizetype begin = 0;
    qsizetype end = src.size();
    while (begin < end && IsUrlSpace(src.at(begin)))
        ++begin;
    while (end > begin && IsUrlSpace(src.at(end - 1)))
        --end;
    QString out;
    out.reserve(end - begin);
    for (qsizetype i = begin; i < end; ++i) {
        const QChar c = src.at(i);
        if (c != u'\t' && c != u'\n' && c != u'\r')
            out += c;
    }
    return out;
}

QString FromXml(const xmlChar *text)
{
    return text ? QString::fromUtf8(reinterpret_cast<const char *>(text)) : QString();
}

void IgnoreMessage(void *, const char *, ...) {}

// An image address longer than this is taken as none: no server accepts a request line of that
// size, and holding it twice would cost more than the page.
constexpr int kMaxSourceBytes = 32 * 1024;

// libxml2 compares every attribute of a start tag with all before it, so a tag with n distinct
// attributes costs n squared: a page of one tag with 100,000 attributes would hold the run for
// hours. This filter passes the page through unchanged except that it drops the attributes of
// a start tag after the first kMaxAttributes. It follows the tokenizer's rules closely enough
// for that job (quoted values may hold ">", unquoted ones end at a blank or ">"); no page that
// a person wrote has a tag with that many attributes.
class AttributeLimiter
{
public:
    static constexpr int kMaxAttributes = 256;

    QByteArray Filter(const char *data, qsizetype size)
    {
        QByteArray out;
        out.reserve(size);
        qsizetype kept = 0; // start of the run of bytes kept so far
        qsizetype i = 0;
        while (i < size) {
            if (m_state == State::Text) {
                // Text changes nothing until the next "<".
                const void *lt = std::memchr(data + i, '<', std::size_t(size - i));
                if (!lt) {
                    i = size;
                    break;
                }
                i = static_cast<const char *>(lt) - data;
            }
            if (!step(data[i])) {
                out.append(data + kept, i - kept);
                kept = i + 1;
            }
            ++i;
        }
        out.append(data + kept, size - kept);
        return out;
    }

private:
    enum class State { Text, AfterLt, TagName, BeforeAttr, AttrName, AfterName, BeforeValue, DoubleQuoted, SingleQuoted, Unquoted };

    static bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }
    static bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

    // Advances over one byte; false when the byte is dropped.
    bool step(char c)
    {
        switch (m_state) {
        case State::Text:
            if (c == '<')
                m_state = State::AfterLt;
            return true;
        case State::AfterLt:
            if (IsLetter(c)) {
                m_state = State::TagName;
                m_count = 0;
            } else if (c != '<') {
                m_state = State::Text;
            }
            return true;
        case State::TagName:
            if (IsBlank(c))
                m_state = State::BeforeAttr;
            else if (c == '>')
                m_state = State::Text;
            return true;
        case State::BeforeAttr:
            if (IsBlank(c))
                return true;
            if (c == '>') {
                m_state = State::Text;
                return true;
            }
            return startAttribute(c);
        case State::AttrName:
            if (IsBlank(c))
                m_state = State::AfterName;
            else if (c == '=')
                m_state = State::BeforeValue;
            else if (c == '>')
                return end();
            return !m_dropping;
        case State::AfterName:
            if (IsBlank(c))
                return !m_dropping;
            if (c == '=') {
                m_state = State::BeforeValue;
                return !m_dropping;
            }
            if (c == '>')
                return end();
            return startAttribute(c);
        case State::BeforeValue:
            if (IsBlank(c))
                return !m_dropping;
            if (c == '>')
                return end();
            m_state = c == '"' ? State::DoubleQuoted : c == '\'' ? State::SingleQuoted : State::Unquoted;
            return !m_dropping;
        case State::DoubleQuoted:
        case State::SingleQuoted:
            if (c == (m_state == State::DoubleQuoted ? '"' : '\''))
                m_state = State::BeforeAttr;
            return !m_dropping;
        case State::Unquoted:
            if (IsBlank(c)) {
                m_state = State::BeforeAttr;
                return true;
            }
            if (c == '>')
                return end();
            return !m_dropping;
        }
        return true;
    }

    bool startAttribute(char)
    {
        ++m_count;
        m_dropping = m_count > kMaxAttributes;
        m_state = State::AttrName;
        return !m_dropping;
    }

    bool end()
    {
        m_state = State::Text;
        m_dropping = false;
        return true;
    }

    State m_state = State::Text;
    int m_count = 0;
    bool m_dropping = false;
};

} // namespace

bool HasUrlScheme(const QString &text)
{
    if (text.isEmpty() || !(text.at(0).isLetter() && text.at(0).unicode() < 128))
        return false;
    for (qsizetype i = 1; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c == u':')
            return true;
        const bool ok = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9')
                        || c == u'+' || c == u'.' || c == u'-';
        if (!ok)
            return false;
    }
    return false;
}

QString ResolveImageSource(const QString &src, const QString &base)
{
    const QString clean = CleanSource(src);
    if (clean.isEmpty())
        return QString();
    if (!base.isEmpty())
        return QUrl(base).resolved(QUrl(clean, QUrl::TolerantMode)).toString(QUrl::FullyEncoded);
    if (clean.startsWith(QLatin1String("//")))
        return QStringLiteral("http:") + clean;
    if (HasUrlScheme(clean))
        return clean;
    return QStringLiteral("about:blank") + clean;
}

// One parse of a page: a libxml2 push parser whose only interest is the start of elements.
struct TUILess::Document {
    enum class Mode { AllImages, NonEmptyImages };

    explicit Document(Mode m)
        : mode(m)
    {
        xmlInitParser();
        std::memset(&sax, 0, sizeof sax);
        sax.startElement = &Document::StartElement;
        sax.warning = &IgnoreMessage;
        sax.error = &IgnoreMessage;
        sax.fatalError = &IgnoreMessage;
        // No data yet: the encoding is found from the first slice (BOM or meta charset).
        ctxt = htmlCreatePushParserCtxt(&sax, this, nullptr, 0, "about:blank", XML_CHAR_ENCODING_NONE);
        if (ctxt) {
            htmlCtxtUseOptions(ctxt, HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING
                                         | HTML_PARSE_NONET | HTML_PARSE_NOBLANKS);
        }
    }
    ~Document()
    {
        if (ctxt) {
            if (ctxt->myDoc) // nothing builds one, but a recovering parser may leave one
                xmlFreeDoc(ctxt->myDoc);
            htmlFreeParserCtxt(ctxt);
        }
    }
    Document(const Document &) = delete;
    Document &operator=(const Document &) = delete;

    static void StartElement(void *user, const xmlChar *name, const xmlChar **atts)
    {
        auto *self = static_cast<Document *>(user);
        if (self->eventInterval > 0 && self->sinceEvents.elapsed() >= self->eventInterval) {
            QCoreApplication::processEvents();
            self->sinceEvents.restart();
        }
        if (!name)
            return;
        const char *n = reinterpret_cast<const char *>(name);
        // The HTML parser gives element names in lower case.
        if (std::strcmp(n, "img") == 0) {
            QString src;
            for (const xmlChar **a = atts; a && a[0]; a += 2) {
                if (xmlStrcasecmp(a[0], BAD_CAST "src") == 0) {
                    if (a[1] && xmlStrlen(a[1]) <= kMaxSourceBytes)
                        src = FromXml(a[1]);
                    break;
                }
            }
            if (self->mode == Mode::NonEmptyImages && src.isEmpty())
                return;
            // The same src twice is one address: keep it once (and no more than the list takes).
            if (self->seen.contains(src) || self->seen.size() >= TResourceList::kMaxEntries)
                return;
            self->seen.insert(src);
            self->sources.append(src);
        } else if (std::strcmp(n, "base") == 0 && !self->baseSeen) {
            for (const xmlChar **a = atts; a && a[0]; a += 2) {
                if (xmlStrcasecmp(a[0], BAD_CAST "href") == 0) {
                    self->baseSeen = true;
                    const QUrl url(CleanSource(FromXml(a[1])), QUrl::TolerantMode);
                    const QString scheme = url.scheme().toLower();
                    if (url.isValid() && (scheme == u"http" || scheme == u"https") && !url.host().isEmpty())
                        self->base = url.toString(QUrl::FullyEncoded);
                    break;
                }
            }
        }
    }

    // Feeds the whole page and ends the parse.
    void Feed(const char *data, qsizetype size, int interval)
    {
        if (!ctxt)
            return;
        eventInterval = interval;
        sinceEvents.start();
        {
            // The parser copies what it is given: our copy goes before the parse ends.
            const QByteArray filtered = limiter.Filter(data, size);
            htmlParseChunk(ctxt, filtered.constData(), int(filtered.size()), 0);
        }
        htmlParseChunk(ctxt, nullptr, 0, 1);
    }

    void Report(TResourceList &list) const
    {
        for (const QString &src : sources)
            list.Add(ResolveImageSource(src, base));
    }

    Mode mode;
    htmlSAXHandler sax;
    htmlParserCtxtPtr ctxt = nullptr;
    QStringList sources;
    QSet<QString> seen;
    AttributeLimiter limiter;
    int eventInterval = 0;
    QElapsedTimer sinceEvents;
    QString base;
    bool baseSeen = false;
};

TUILess::TUILess() = default;
TUILess::~TUILess() = default;

void TUILess::InitDocument()
{
    m_document.reset();
    m_document = std::make_unique<Document>(Document::Mode::AllImages);
}

void TUILess::ParseImages(const QByteArray &page, TResourceList &list)
{
    InitDocument();
    m_document->Feed(page.constData(), page.size(), m_eventInterval);
    m_document->Report(list);
    m_document.reset(); // the parser's buffers go as soon as the list is filled
}

void ParseImagesDesignMode(const QByteArray &page, TResourceList &list)
{
    qsizetype length = page.indexOf('\0');
    if (length < 0)
        length = page.size();
    TUILess::Document document(TUILess::Document::Mode::NonEmptyImages);
    document.Feed(page.constData(), length, 20);
    document.Report(list);
}

} // namespace vq
