// The libxml2 image extraction on arbitrary bytes (both ways of reading a page), and the runner's
// turning of its entries into addresses.
#include "ResourceList.h"
#include "TestRunner.h"
#include "UI_Less.h"

#include <cstddef>
#include <cstdint>

using namespace vq;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray page(reinterpret_cast<const char *>(data), qsizetype(size));

    TResourceList whole;
    TUILess host;
    host.setEventInterval(0);
    host.ParseImages(page, whole);
    // The host can be used again: a fresh document each time.
    TResourceList again;
    host.ParseImages(page, again);
    if (again.Strings() != whole.Strings())
        __builtin_trap();

    TResourceList design;
    ParseImagesDesignMode(page, design);

    for (const TResourceList *list : {&whole, &design}) {
        for (qsizetype i = 0; i < list->Count(); ++i)
            ResourceAddress(QStringLiteral("host/dir"), (*list)[i]);
    }
    return 0;
}
