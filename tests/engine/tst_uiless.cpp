#include "ResourceList.h"
#include "UI_Less.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include <malloc.h>

using namespace vq;

namespace {

QStringList Method2(const QByteArray &page)
{
    TResourceList list;
    TUILess host;
    host.ParseImages(page, list);
    return list.Strings();
}

QStringList Method3(const QByteArray &page)
{
    TResourceList list;
    ParseImagesDesignMode(page, list);
    return list.Strings();
}

} // namespace

class TestUILess : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void images_data();
    void images();
    void emptySourceOnlyInTheDocument();
    void resolveImageSource_data();
    void resolveImageSource();
    void eventsRunWhileALargePageParses();
    void linearOnAdversarialInput_data();
    void linearOnAdversarialInput();
    void manyDistinctAttributes();
};

void TestUILess::initTestCase()
{
    mallopt(M_MMAP_THRESHOLD, 256 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 512 * 1024 * 1024);
}

void TestUILess::images_data()
{
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<QStringList>("images");
    QTest::newRow("relative") << QByteArray(R"(<html><body><img src="img/a.gif"></body></html>)")
                              << QStringList{"about:blankimg/a.gif"};
    QTest::newRow("from the root") << QByteArray(R"(<img src="/img/a.gif">)") << QStringList{"about:blank/img/a.gif"};
    QTest::newRow("absolute, capitals") << QByteArray(R"(<IMG SRC="http://x.example/a.gif">)")
                                        << QStringList{"http://x.example/a.gif"};
    QTest::newRow("https") << QByteArray(R"(<img src="https://x.example/a.gif">)") << QStringList{"https://x.example/a.gif"};
    QTest::newRow("scheme-relative") << QByteArray(R"(<img src="//cdn.example/a.gif">)")
                                     << QStringList{"http://cdn.example/a.gif"};
    QTest::newRow("entities decoded") << QByteArray(R"(<img src="a.gif?x=1&amp;y=2">)")
                                      << QStringList{"about:blanka.gif?x=1&y=2"};
    QTest::newRow("blanks around") << QByteArray("<img src=\"  a.gif\n\">") << QStringList{"about:blanka.gif"};
    QTest::newRow("unquoted") << QByteArray("<p><img src=a.gif><img src=b.gif></p>")
                              << QStringList{"about:blanka.gif", "about:blankb.gif"};
    QTest::newRow("scripts do not run")
        << QByteArray(R"(<script>document.write('<img src="x.gif">')</script><img src="y.gif">)")
        << QStringList{"about:blanky.gif"};
    QTest::newRow("comments are not markup") << QByteArray("<!-- <img src=x.gif> --><img src=y.gif>")
                                             << QStringList{"about:blanky.gif"};
    QTest::newRow("twice, and in another case")
        << QByteArray(R"(<img src="a.gif"><img src="a.gif"><img src="A.GIF">)") << QStringList{"about:blanka.gif"};
    QTest::newRow("base") << QByteArray(R"(<head><base href="http://b.example/dir/"></head><img src="a.gif"><img src="/r.gif">)")
                          << QStringList{"http://b.example/dir/a.gif", "http://b.example/r.gif"};
    QTest::newRow("relative base ignored") << QByteArray(R"(<base href="dir/"><img src="a.gif">)")
                                           << QStringList{"about:blanka.gif"};
    QTest::newRow("data address kept as it is") << QByteArray(R"(<img src="data:image/gif;base64,R0lG">)")
                                                 << QStringList{"data:image/gif;base64,R0lG"};
    QTest::newRow("declared Latin-1")
        << QByteArray("<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-1\">"
                      "</head><body><img src=\"caf\xe9.gif\"></body></html>")
        << QStringList{QStringLiteral(u"about:blankcafé.gif")};
    QTest::newRow("no images") << QByteArray("<p>text</p>") << QStringList{};
    static const char junk[] = "\x89PNG\r\n\x1a\n\0\0\0\rIHDR\xff\xfe<\x01>";
    QTest::newRow("binary junk") << QByteArray(junk, sizeof junk - 1) << QStringList{};
}

void TestUILess::images()
{
    QFETCH(QByteArray, page);
    QFETCH(QStringList, images);
    QCOMPARE(Method2(page), images);
    QCOMPARE(Method3(page), images);
}

void TestUILess::emptySourceOnlyInTheDocument()
{
    // The document reports every image element; the editable document only those with a src.
    const QByteArray page = R"(<img><img src=""><img src="a.gif">)";
    QCOMPARE(Method2(page), (QStringList{"", "about:blanka.gif"}));
    QCOMPARE(Method3(page), QStringList{"about:blanka.gif"});
    // The editable document is given the page as text, which ends at a NUL.
    QCOMPARE(Method3(QByteArray("<img src=a.gif>\0<img src=b.gif>", 31)), QStringList{"about:blanka.gif"});
}

void TestUILess::resolveImageSource_data()
{
    QTest::addColumn<QString>("src");
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("address");
    QTest::newRow("relative") << "a.gif" << "" << "about:blanka.gif";
    QTest::newRow("empty") << "" << "" << "";
    QTest::newRow("blanks only") << " \t " << "" << "";
    QTest::newRow("line break inside") << "a\n.gif" << "" << "about:blanka.gif";
    QTest::newRow("javascript") << "javascript:void(0)" << "" << "javascript:void(0)";
    QTest::newRow("host and port is a scheme") << "localhost:8080/a.gif" << "" << "localhost:8080/a.gif";
    QTest::newRow("digits are not a scheme") << "127.0.0.1:8080/a.gif" << "" << "about:blank127.0.0.1:8080/a.gif";
    QTest::newRow("base") << "../a.gif" << "http://h.example/x/y/" << "http://h.example/x/a.gif";
    QTest::newRow("base, absolute src") << "https://o.example/a.gif" << "http://h.example/" << "https://o.example/a.gif";
}

void TestUILess::resolveImageSource()
{
    QFETCH(QString, src);
    QFETCH(QString, base);
    QFETCH(QString, address);
    QCOMPARE(ResolveImageSource(src, base), address);
}

void TestUILess::eventsRunWhileALargePageParses()
{
    QByteArray page = "<html><body>";
    while (page.size() < 4 * 1024 * 1024)
        page += "<p>Some text and <b>bold</b> words.</p>\n";
    page += "<img src=last.gif></body></html>";
    bool fired = false;
    QTimer::singleShot(0, [&fired] { fired = true; });
    TResourceList list;
    TUILess host;
    host.setEventInterval(1);
    host.ParseImages(page, list);
    QVERIFY(fired);
    QCOMPARE(list.Strings(), QStringList{"about:blanklast.gif"});
}

void TestUILess::linearOnAdversarialInput_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<QByteArray>("unit");
    QTest::addColumn<QByteArray>("tail");
    QTest::newRow("a megabyte of <") << QByteArray() << QByteArray("<") << QByteArray();
    QTest::newRow("quotes inside one tag") << QByteArray("<img src=\"") << QByteArray("\"") << QByteArray("\">");
    QTest::newRow("attributes") << QByteArray("<img ") << QByteArray("a=1 ") << QByteArray("src=x>");
    QTest::newRow("open elements") << QByteArray() << QByteArray("<div>") << QByteArray();
    QTest::newRow("images") << QByteArray() << QByteArray("<img src=a>") << QByteArray();
}

void TestUILess::linearOnAdversarialInput()
{
    QFETCH(QByteArray, head);
    QFETCH(QByteArray, unit);
    QFETCH(QByteArray, tail);
    auto page = [&](qsizetype bytes) { return head + unit.repeated(bytes / unit.size()) + tail; };
    auto timeOf = [](const QByteArray &p) {
        double best = 1e300;
        for (int i = 0; i < 3; ++i) {
            QElapsedTimer t;
            t.start();
            TResourceList a;
            TUILess host;
            host.setEventInterval(0);
            host.ParseImages(p, a);
            TResourceList b;
            ParseImagesDesignMode(p, b);
            best = std::min(best, t.nsecsElapsed() / 1e6);
        }
        return best;
    };
    // Eight times the input: linear work takes about eight times as long, quadratic work 64.
    const double tSmall = timeOf(page(512 * 1024));
    const double tLarge = timeOf(page(4 * 1024 * 1024));
    qInfo("%s: %.1f ms for 512 KiB, %.1f ms for 4 MiB", QTest::currentDataTag(), tSmall, tLarge);
    QVERIFY2(tLarge < 32 * std::max(tSmall, 2.0), "more than linear growth");
}

QTEST_GUILESS_MAIN(TestUILess)
#include "tst_uiless.moc"

void TestUILess::manyDistinctAttributes()
{
    // A tag with a great many different attributes would cost the parser their number squared;
    // only the first 256 attributes of a tag are read, in linear time.
    auto page = [](int attributes, const QByteArray &before, const QByteArray &after) {
        QByteArray p = "<p>text</p><img " + before;
        for (int i = 0; i < attributes; ++i)
            p += "a" + QByteArray::number(i) + "=\"v>\" ";
        return p + after + "><img src=\"next.gif\">";
    };
    QCOMPARE(Method2(page(300, "src=first.gif ", "")), (QStringList{"about:blankfirst.gif", "about:blanknext.gif"}));
    QCOMPARE(Method2(page(300, "", "src=late.gif")), (QStringList{"", "about:blanknext.gif"}));
    QCOMPARE(Method2(page(200, "", "src=late.gif")), (QStringList{"about:blanklate.gif", "about:blanknext.gif"}));

    auto timeOf = [&](int attributes) {
        const QByteArray p = page(attributes, "", "");
        QElapsedTimer t;
        t.start();
        Method2(p);
        return t.nsecsElapsed() / 1e6;
    };
    const double tSmall = std::max(timeOf(10000), 2.0);
    const double tLarge = timeOf(80000);
    qInfo("%.1f ms for 10,000 attributes, %.1f ms for 80,000", tSmall, tLarge);
    QVERIFY2(tLarge < 32 * tSmall, "more than linear growth"); // squared: 64 times
}
