#include "UI_Less.h"

#include "ResourceList.h"

#include <QCoreApplication>
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
        if (!name)
            return;
        const char *n = reinterpret_cast<const char *>(name);
        // The HTML parser gives element names in lower case.
        if (std::strcmp(n, "img") == 0) {
            QString src;
            for (const xmlChar **a = atts; a && a[0]; a += 2) {
                if (xmlStrcasecmp(a[0], BAD_CAST "src") == 0) {
                    src = FromXml(a[1]);
                    break;
                }
            }
            if (self->mode == Mode::NonEmptyImages && src.isEmpty())
                return;
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

    // Feeds the page in slices (processing events between them when sliceSize is not 0).
    void Feed(const char *data, qsizetype size, qsizetype sliceSize)
    {
        if (!ctxt)
            return;
        const qsizetype step = sliceSize > 0 ? sliceSize : qsizetype(1) << 30;
        for (qsizetype at = 0; at < size; at += step) {
            const qsizetype n = std::min(step, size - at);
            htmlParseChunk(ctxt, data + at, int(n), 0);
            if (sliceSize > 0)
                QCoreApplication::processEvents();
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
    m_document->Feed(page.constData(), page.size(), m_sliceSize);
    m_document->Report(list);
    m_document.reset(); // the parser's buffers go as soon as the list is filled
}

void ParseImagesDesignMode(const QByteArray &page, TResourceList &list)
{
    qsizetype length = page.indexOf('\0');
    if (length < 0)
        length = page.size();
    TUILess::Document document(TUILess::Document::Mode::NonEmptyImages);
    document.Feed(page.constData(), length, 256 * 1024);
    document.Report(list);
}

} // namespace vq
