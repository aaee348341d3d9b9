// The transformation step: a table answer turned into typed rows, then saved and read back as
// a data packet (what a cache file holds).
#include "ClientDataSet.h"
#include "XMLTransformProvider.h"
#include "wsVeloqua.h"

#include <cstddef>
#include <cstdint>

namespace {
const vq::TransformationRules &Rules()
{
    static const vq::TransformationRules rules = vq::TransformationRules::Parse(
        "<Transformation Version=\"1\" Row=\"Table\"><Field Name=\"iISPId\" Type=\"i4\"/>"
        "<Field Name=\"Column1\" Type=\"string\" Width=\"20\"/><Field Name=\"iVeloqua\" Type=\"r8\"/></Transformation>",
        QStringLiteral("fuzz.xtr"));
    return rules;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    try {
        const vq::XMLTransformResult r = vq::ApplyTransformation(Rules(), bytes);
        vq::TClientDataSet d(QStringLiteral("d"));
        d.SetFieldDefs(r.fields);
        d.CreateDataSet();
        for (const QVariantList &row : r.rows)
            d.AppendRecord(row);
        d.SetIndexFieldNames(QStringLiteral("iISPId;Column1"));
        vq::TClientDataSet back(QStringLiteral("back"));
        back.LoadFromXml(d.SaveToXml(), &r.fields);
        if (back.RecordCount() != d.RecordCount())
            __builtin_trap();
    } catch (const vq::Error &) {
    }
    // The same bytes as a cache file.
    try {
        vq::TClientDataSet c(QStringLiteral("c"));
        c.LoadFromXml(bytes);
    } catch (const vq::Error &) {
    }
    return 0;
}
