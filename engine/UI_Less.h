#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

namespace vq {

class TResourceList;

// The windowless document host: reads a downloaded page with libxml2's HTML parser (recovering
// from any markup, no network, no scripts) and reports the images it contains, the way a
// browser engine's document loaded from memory reports them. Such a document's address is
// "about:blank", so an image address that the page gives relative comes back as "about:blank"
// followed by the relative text; the runner turns it into an address on the site. An absolute
// <base href> on the page is honoured, as a browser would.
//
// While a large page parses, pending events are processed every few milliseconds (from the
// parser's element callbacks), so the window stays responsive and the stop button and timers
// work. The page is given to the parser in one piece: fed in slices, libxml2 keeps growing
// buffers of its own and needs more memory than the page itself several times over.
class TUILess
{
public:
    TUILess();
    ~TUILess();
    TUILess(const TUILess &) = delete;
    TUILess &operator=(const TUILess &) = delete;

    // A fresh document (any earlier one is released first).
    void InitDocument();
    // Adds the address of every image element of the page to the list (empty ones included).
    void ParseImages(const QByteArray &page, TResourceList &list);

    // Milliseconds between two rounds of event processing while parsing; 0 processes none.
    void setEventInterval(int milliseconds) { m_eventInterval = milliseconds; }

    struct Document;

private:
    std::unique_ptr<Document> m_document;
    int m_eventInterval = 20;
};

// The editable-document way: the page is read as text (up to a NUL character) and the src of
// every IMG element that has a non-empty one is added to the list.
void ParseImagesDesignMode(const QByteArray &page, TResourceList &list);

// How a document whose own address is "about:blank" reports an image's src: absolute addresses
// as they are, "//host/x" as "http://host/x", relative ones as "about:blank" followed by the
// text, or resolved against base when the page gave an absolute one. Blanks around the value
// are dropped and tabs and line breaks inside it removed, as browsers do.
QString ResolveImageSource(const QString &src, const QString &base = QString());

// True when text begins with a URL scheme ("http:", "data:", ...).
bool HasUrlScheme(const QString &text);

} // namespace vq
