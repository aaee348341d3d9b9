// The dataset class, its data packets and cache files, the transformation step, and the built-in
// country and state tables.
#include "MainModule.h"
#include "TestEnvironment.h"
#include "wsVeloqua.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace vq;

namespace {

QByteArray Response(const QByteArray &rows, const QByteArray &schemaType = "xs:string")
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?><soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body>"
           "<GetSitesResponse xmlns=\"http://tavistel.invalid/Veloqua/Service1\"><GetSitesResult>"
           "<xs:schema id=\"NewDataSet\" xmlns=\"\" xmlns:xs=\"http://www.w3.org/2001/XMLSchema\"><xs:element name=\"iSiteId\" type=\""
           + schemaType
           + "\"/></xs:schema>"
             "<diffgr:diffgram xmlns:diffgr=\"urn:schemas-microsoft-com:xml-diffgram-v1\">"
           + rows + "</diffgr:diffgram></GetSitesResult></GetSitesResponse></soap:Body></soap:Envelope>";
}

} // namespace

class TestDatasets : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void builtInTables();
    void packetRoundTripAndOrdering();
    void damagedCacheIsDiscarded_data();
    void damagedCacheIsDiscarded();
    void transformation_data();
    void transformation();
};

void TestDatasets::builtInTables()
{
    TdmMain dm(test::BinaryDir());
    TClientDataSet *c = dm.cdsCountries;
    QCOMPARE(c->RecordCount(), 240);
    QStringList names;
    QHash<QString, QString> code;
    for (int i = 0; i < c->RecordCount(); ++i) {
        names.append(c->AsString(i, QStringLiteral("Country")));
        code.insert(names.last(), c->AsString(i, QStringLiteral("Code")));
    }
    QStringList sorted = names;
    std::sort(sorted.begin(), sorted.end());
    QCOMPARE(names, sorted);
    QCOMPARE(QSet<QString>(code.cbegin(), code.cend()).size(), 240); // every code once
    QCOMPARE(code.value(QStringLiteral("UNITED STATES")), QStringLiteral("US"));
    QCOMPARE(code.value(QStringLiteral("VATICAN CITY STATE")), QStringLiteral("VA"));
    QCOMPARE(code.value(QStringLiteral("MACA")), QStringLiteral("MO"));
    QCOMPARE(code.value(QStringLiteral("TIMOR-LEST")), QStringLiteral("TL"));
    QCOMPARE(code.value(QStringLiteral("NETHERLANDS ANTILLES")), QStringLiteral("AN"));
    QCOMPARE(code.value(QStringLiteral("SERBIA AND MONTENEGR")), QStringLiteral("CS"));
    QCOMPARE(code.value(QStringLiteral("COTE D'IVOIRE")), QStringLiteral("CI"));
    QCOMPARE(names.first(), QStringLiteral("AFGHANISTAN"));
    QCOMPARE(names.last(), QStringLiteral("ZIMBABWE"));

    TClientDataSet *s = dm.cdsStates;
    QCOMPARE(s->RecordCount(), 51);
    QCOMPARE(s->AsString(0, QStringLiteral("Code")), QStringLiteral("--"));
    QCOMPARE(s->AsString(0, QStringLiteral("State")), QStringLiteral("Other"));
    QCOMPARE(s->AsString(27, QStringLiteral("State")), QStringLiteral("North_Carolina"));
    QCOMPARE(s->AsString(50, QStringLiteral("Code")), QStringLiteral("WY"));
    QCOMPARE(s->FieldDefs().at(1).size, 20);
}

void TestDatasets::packetRoundTripAndOrdering()
{
    TClientDataSet d(QStringLiteral("d"));
    d.SetFieldDefs({{QStringLiteral("iId"), TFieldType::Integer, 0},
                    {QStringLiteral("Column1"), TFieldType::String, 20},
                    {QStringLiteral("iVeloqua"), TFieldType::Float, 0}});
    d.CreateDataSet();
    d.AppendRecord({2, QStringLiteral("2006-05-17 13"), 1.5});
    d.AppendRecord({1, QStringLiteral("Zürich \"<&>\""), QVariant()});
    d.AppendRecord({2, QStringLiteral("2006-05-16"), 1e15});
    d.AppendRecord({QVariant(), QString(), 0.1});
    d.SetIndexFieldNames(QStringLiteral("iId;Column1"));
    QCOMPARE(d.AsString(0, QStringLiteral("iId")), QString()); // null first
    QCOMPARE(d.AsString(1, QStringLiteral("Column1")), QStringLiteral("Zürich \"<&>\""));
    QCOMPARE(d.AsString(2, QStringLiteral("Column1")), QStringLiteral("2006-05-16"));
    QCOMPARE(d.AsString(3, QStringLiteral("Column1")), QStringLiteral("2006-05-17 13"));

    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("d.xml"));
    d.SaveToFile(file);
    TClientDataSet e(QStringLiteral("e"));
    const QList<TFieldDef> expected = d.FieldDefs();
    e.LoadFromFile(file, &expected);
    QCOMPARE(e.RecordCount(), 4);
    QCOMPARE(e.Value(1, QStringLiteral("iVeloqua")), QVariant());
    QCOMPARE(e.AsFloat(2, QStringLiteral("iVeloqua")), 1e15);
    QCOMPARE(e.AsFloat(3, QStringLiteral("iVeloqua")), 0.1);
    QCOMPARE(e.SaveToXml(), d.SaveToXml());
    QVERIFY_THROWS_EXCEPTION(Error, d.AppendRecord({QStringLiteral("x")}));
}

void TestDatasets::damagedCacheIsDiscarded_data()
{
    QTest::addColumn<QByteArray>("content");
    const QByteArray fields = "<METADATA><FIELDS><FIELD attrname=\"iSiteId\" fieldtype=\"i4\"/>"
                              "<FIELD attrname=\"vcUrl\" fieldtype=\"string\" WIDTH=\"255\"/></FIELDS><PARAMS/></METADATA>";
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("truncated") << "<?xml version=\"1.0\"?><DATAPACKET Version=\"2.0\">" + fields + "<ROWDATA><ROW iSit";
    QTest::newRow("not a packet") << QByteArray("<html/>");
    QTest::newRow("other fields") << QByteArray("<DATAPACKET><METADATA><FIELDS><FIELD attrname=\"x\" fieldtype=\"i4\"/></FIELDS></METADATA><ROWDATA/></DATAPACKET>");
    QTest::newRow("value not of its type") << "<DATAPACKET>" + fields + "<ROWDATA><ROW iSiteId=\"one\" vcUrl=\"u\"/></ROWDATA></DATAPACKET>";
    QTest::newRow("entity declaration") << "<!DOCTYPE d [<!ENTITY x \"y\">]><DATAPACKET>" + fields + "<ROWDATA/></DATAPACKET>";
    QTest::newRow("binary") << QByteArray("\x00\xff\xfe garbage", 12);
}

void TestDatasets::damagedCacheIsDiscarded()
{
    QFETCH(QByteArray, content);
    QTemporaryDir dir;
    TdmMain dm(test::BinaryDir());
    const QString file = dir.filePath(QStringLiteral("sites.xml"));
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
    f.close();
    try {
        dm.LoadCache(TPendingTable::Sites, dir.path());
        QFAIL("loaded");
    } catch (const ECacheFileError &e) {
        QVERIFY(e.damaged());
        QVERIFY(e.message().contains(QLatin1String("site list")));
    }
    QVERIFY(!QFile::exists(file));
    QVERIFY(dm.cdsSites->Active());
    QCOMPARE(dm.cdsSites->RecordCount(), 0);
    QCOMPARE(dm.cdsSites->FieldIndex(QStringLiteral("vcUrl")), 1);

    try {
        dm.LoadCache(TPendingTable::Sites, dir.path()); // now missing
        QFAIL("loaded");
    } catch (const ECacheFileError &e) {
        QVERIFY(!e.damaged());
    }
}

void TestDatasets::transformation_data()
{
    QTest::addColumn<QByteArray>("response");
    QTest::addColumn<int>("rows");           // -1: refused
    QTest::addColumn<QVariant>("firstUrl");
    QTest::newRow("two rows") << Response("<NewDataSet xmlns=\"\"><Table><iSiteId>1</iSiteId><vcUrl>http://a/</vcUrl></Table>"
                                          "<Table><iSiteId> 2 </iSiteId><vcUrl>http://b/</vcUrl></Table></NewDataSet>")
                              << 2 << QVariant(QStringLiteral("http://a/"));
    QTest::newRow("empty table") << Response("") << 0 << QVariant();
    QTest::newRow("missing field is null") << Response("<NewDataSet><Table><iSiteId>1</iSiteId></Table></NewDataSet>") << 1 << QVariant();
    QTest::newRow("unknown children ignored") << Response("<NewDataSet><Table><x>1</x><iSiteId>1</iSiteId><vcUrl>u</vcUrl></Table><Other/></NewDataSet>")
                                              << 1 << QVariant(QStringLiteral("u"));
    // The response's schema says string; our transformation says i4, and that wins.
    QTest::newRow("types from the transformation") << Response("<NewDataSet><Table><iSiteId>oops</iSiteId></Table></NewDataSet>") << -1 << QVariant();
    QTest::newRow("no table at all") << QByteArray("<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body><x/></soap:Body></soap:Envelope>")
                                     << -1 << QVariant();
    QTest::newRow("integer overflow") << Response("<NewDataSet><Table><iSiteId>99999999999</iSiteId></Table></NewDataSet>") << -1 << QVariant();
}

void TestDatasets::transformation()
{
    QFETCH(QByteArray, response);
    QFETCH(int, rows);
    QFETCH(QVariant, firstUrl);
    const TransformationRules rules = TransformationRules::Load(test::BinaryDir() + QStringLiteral("/Sites.xtr"));
    if (rows < 0) {
        QVERIFY_THROWS_EXCEPTION(ESOAPHTTPException, ApplyTransformation(rules, response));
        return;
    }
    const XMLTransformResult r = ApplyTransformation(rules, response);
    QCOMPARE(r.rows.size(), rows);
    QCOMPARE(r.fields.size(), 2);
    if (rows > 0) {
        QCOMPARE(r.rows.first().at(0), QVariant(1));
        QCOMPARE(r.rows.first().at(1), firstUrl);
    }
}

QTEST_GUILESS_MAIN(TestDatasets)
#include "tst_datasets.moc"
