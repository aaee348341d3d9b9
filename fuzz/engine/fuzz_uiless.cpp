// The libxml2 image extraction on arbitrary bytes, fed whole and in slices of a size taken from
// the input, and the runner's turning of its entries into addresses.
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
    host.setSliceSize(0);
    host.ParseImages(page, whole);

    // The same page in small slices must give the same images.
    TResourceList sliced;
    host.setSliceSize(size > 0 ? 1 + data[0] % 61 : 1);
    host.ParseImages(page, sliced);

    TResourceList design;
    ParseImagesDesignMode(page, design);

    for (const TResourceList *list : {&whole, &sliced, &design}) {
        for (qsizetype i = 0; i < list->Count(); ++i)
            ResourceAddress(QStringLiteral("host/dir"), (*list)[i]);
    }
    return 0;
}
