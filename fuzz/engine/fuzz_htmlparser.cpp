// The built-in HTML scanner on arbitrary bytes: every event assigned, the image list put on a
// site, and the string routines on pieces of the input.
#include "HTMLParser.h"
#include "ResourceList.h"
#include "TestRunner.h"

#include <cstddef>
#include <cstdint>

using namespace vq;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray page(reinterpret_cast<const char *>(data), qsizetype(size));

    THTMLParser parser;
    qint64 events = 0;
    parser.OnParsing = [&events](THTMLParser *, int line, int total) {
        if (line < 1 || line > total)
            __builtin_trap();
        ++events;
    };
    parser.OnFoundHyperlink = [&events](THTMLParser *, const QString &) { ++events; };
    parser.OnFoundTag = [&events](THTMLParser *, const QString &) { ++events; };
    parser.OnFoundText = [&events](THTMLParser *, const QString &) { ++events; };
    parser.OnFoundComment = [&events](THTMLParser *, const QString &) { ++events; };
    parser.LoadFromBytes(page);
    parser.Parse();
    parser.Parse(); // a second call keeps the category lists and refills the others

    TResourceList list;
    ParseImagesBuiltIn(page, list);
    list.Transform([](const QString &entry) { return BuiltInResourceAddress(QStringLiteral("host/dir"), entry); });
    for (qsizetype i = 0; i < list.Count(); ++i) {
        if (i > 0 && list[i - 1].toCaseFolded() == list[i].toCaseFolded())
            __builtin_trap(); // the list keeps each address once
    }

    // The routines on their own: the input split at its first byte 0x01 into tag and name.
    const qsizetype cut = page.indexOf('\x01');
    const QString tag = QString::fromLatin1(cut < 0 ? page : page.left(cut));
    const QString name = cut < 0 ? QStringLiteral("src") : QString::fromLatin1(page.mid(cut + 1));
    const QString text = AttributeText(tag, name);
    if (!text.isEmpty() && !tag.contains(text))
        __builtin_trap();
    AttributeValue(text);
    const TSplitURL parts = SplitURL(tag);
    if (parts.FileName.contains(u'/') || parts.Query.contains(u'/'))
        __builtin_trap(); // both come after the path's last "/"
    return 0;
}
