#include "HTMLParser.h"
#include "ResourceList.h"

#include <QElapsedTimer>
#include <QTest>

#include <functional>

#include <malloc.h>

using namespace vq;

namespace {

QStringList ImagesOf(const QByteArray &page)
{
    THTMLParser parser;
    parser.LoadFromBytes(page);
    parser.Parse();
    return parser.Parsed().Images;
}

// Best of three, in milliseconds.
double TimeOf(const std::function<void()> &f)
{
    double best = 1e300;
    for (int i = 0; i < 3; ++i) {
        QElapsedTimer t;
        t.start();
        f();
        best = std::min(best, t.nsecsElapsed() / 1e6);
    }
    return best;
}

} // namespace

class TestHTMLParser : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void images_data();
    void images();
    void linksAreSorted();
    void titleMetaCommentsAndEvents();
    void lines_data();
    void lines();
    void parseTwiceKeepsCategories();
    void splitURL_data();
    void splitURL();
    void attributes_data();
    void attributes();
    void builtInListDropsRepeats();
    void linearOnAdversarialInput_data();
    void linearOnAdversarialInput();
};

void TestHTMLParser::initTestCase()
{
    // Large blocks from the heap rather than fresh mappings each time: the timing comparison
    // below is then about the scanner's work, not about the kernel's page faults.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 512 * 1024 * 1024);
}

void TestHTMLParser::images_data()
{
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<QStringList>("images");
    QTest::newRow("quoted") << QByteArray(R"(<img src="pics/a.gif" width=10>)") << QStringList{"pics/a.gif"};
    QTest::newRow("unquoted, more attributes") << QByteArray("<img src=pics/a.gif width=10>") << QStringList{"pics/a.gif"};
    QTest::newRow("unquoted, last") << QByteArray("<img src=pics/a.gif>") << QStringList{"pics/a.gif"};
    QTest::newRow("single quotes kept") << QByteArray("<IMG SRC='a.gif'>") << QStringList{"'a.gif'"};
    QTest::newRow("src inside datasrc") << QByteArray(R"(<img datasrc="x" src="a.gif">)") << QStringList{"x"};
    QTest::newRow("blank inside quotes") << QByteArray(R"(<img src="a b.gif">)") << QStringList{"a b.gif"};
    QTest::newRow("blank after =") << QByteArray(R"(<img src= "a.gif">)") << QStringList{""};
    QTest::newRow("no src") << QByteArray(R"(<img alt="x">)") << QStringList{""};
    QTest::newRow("tag split over lines") << QByteArray("<img\nsrc=\"a.gif\">") << QStringList{};
    QTest::newRow("tab is not a blank") << QByteArray("<img\tsrc=a.gif>") << QStringList{};
    QTest::newRow("in text") << QByteArray("<p>text<img src=a.gif></p>tail") << QStringList{"a.gif"};
    QTest::newRow("repeats kept") << QByteArray("<img src=a.gif><img src=A.GIF>") << QStringList{"a.gif", "A.GIF"};
    QTest::newRow("last < opens the tag") << QByteArray("<a <img src=a.gif>") << QStringList{"a.gif"};
    QTest::newRow("unclosed tag dropped") << QByteArray("<img src=a.gif") << QStringList{};
    QTest::newRow("NUL ends the text") << QByteArray("<img src=a.gif>\0<img src=b.gif>", 31) << QStringList{"a.gif"};
    QTest::newRow("empty page") << QByteArray() << QStringList{};
    QTest::newRow("UTF-8") << QByteArray("<img src=\"caf\xc3\xa9.gif\">") << QStringList{QStringLiteral(u"café.gif")};
    QTest::newRow("not UTF-8: one character a byte")
        << QByteArray("<img src=\"caf\xe9.gif\">") << QStringList{QStringLiteral(u"café.gif")};
}

void TestHTMLParser::images()
{
    QFETCH(QByteArray, page);
    QFETCH(QStringList, images);
    QCOMPARE(ImagesOf(page), images);
}

void TestHTMLParser::linksAreSorted()
{
    THTMLParser parser;
    QStringList others;
    parser.OnFoundHyperlink = [&others](THTMLParser *, const QString &link) { others.append(link); };
    parser.LoadFromBytes(R"(<a href="http://x.com/p.htm">x</a><a href="mailto:me@x.com">m</a>)"
                         R"(<a href="https://s.com/">s</a><a href="ftp://f.com/a.zip">f</a>)"
                         R"(<a href="local/page.php?x=1">l</a><a href="pic.JPG">p</a><a>e</a>)"
                         R"(<frame src="left.htm"><a href="HTTP://y.com/run.cgi">c</a>)");
    parser.Parse();
    const TParsed &p = parser.Parsed();
    QCOMPARE(p.Hyperlinks, (QStringList{"http://x.com/p.htm", "mailto:me@x.com", "https://s.com/", "ftp://f.com/a.zip",
                                        "local/page.php?x=1", "pic.JPG", "", "HTTP://y.com/run.cgi"}));
    QCOMPARE(p.EMails, QStringList{"me@x.com"});
    QCOMPARE(p.HTTPlinks, (QStringList{"http://x.com/p.htm", "HTTP://y.com/run.cgi"}));
    QCOMPARE(p.FTPlinks, QStringList{"ftp://f.com/a.zip"});
    QCOMPARE(p.Locallinks, (QStringList{"local/page.php?x=1", "pic.JPG", ""}));
    QCOMPARE(others, QStringList{"https://s.com/"});
    QCOMPARE(p.FramePages, QStringList{"left.htm"});
    QCOMPARE(p.HTML.Remote, QStringList{"http://x.com/p.htm"});
    QCOMPARE(p.PHP.Local, QStringList{"local/page.php?x=1"});
    QCOMPARE(p.Image.Local, QStringList{"pic.JPG"});
    QCOMPARE(p.PERL.Remote, QStringList{"HTTP://y.com/run.cgi"});
    QVERIFY(p.HTML.Local.isEmpty() && p.Media.Local.isEmpty() && p.ActiveX.Remote.isEmpty());
}

void TestHTMLParser::titleMetaCommentsAndEvents()
{
    THTMLParser parser;
    QStringList tags, texts, comments;
    parser.OnFoundTag = [&tags](THTMLParser *, const QString &t) { tags.append(t); };
    parser.OnFoundText = [&texts](THTMLParser *, const QString &t) { texts.append(t); };
    parser.OnFoundComment = [&comments](THTMLParser *, const QString &c) { comments.append(c); };
    parser.LoadFromBytes(R"(<title>Home</title>text<meta name="Description" content="d e">)"
                         R"(<META NAME=keyword CONTENT=k><!-- note --><!--x-->tail)");
    parser.Parse();
    QCOMPARE(parser.Parsed().Title, QStringLiteral("Home"));
    QCOMPARE(parser.Parsed().Description, QStringLiteral("d e"));
    QCOMPARE(parser.Parsed().Keyword, QStringLiteral("k"));
    QCOMPARE(comments, QStringList{"note"});
    // Comments are not tags; the title's text is not text; text after the last tag is not reported.
    QCOMPARE(tags, (QStringList{"title", "/title", R"(meta name="Description" content="d e")", "META NAME=keyword CONTENT=k"}));
    QCOMPARE(texts, QStringList{"text"});

    // Tags inside the title are collected; text replaces what was collected so far.
    THTMLParser nested;
    nested.LoadFromBytes("<title>A<b>B</b></title>");
    nested.Parse();
    QCOMPARE(nested.Parsed().Title, QStringLiteral("B</b>"));
}

void TestHTMLParser::lines_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("CR, LF, CR LF") << QByteArray("a\r\nb\rc\nd") << QStringList{"a", "b", "c", "d"};
    QTest::newRow("empty line kept") << QByteArray("a\n\nb") << QStringList{"a", "", "b"};
    QTest::newRow("trailing break adds none") << QByteArray("a\r\n") << QStringList{"a"};
    QTest::newRow("CR CR LF") << QByteArray("a\r\r\nb") << QStringList{"a", "", "b"};
    QTest::newRow("no break") << QByteArray("<img src=a.gif>") << QStringList{"<img src=a.gif>"};
    QTest::newRow("NUL") << QByteArray("a\nb\0c\nd", 7) << QStringList{"a", "b"};
}

void TestHTMLParser::lines()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, lines);
    THTMLParser parser;
    parser.LoadFromBytes(bytes);
    QCOMPARE(parser.HTML(), lines);

    // Progress: once per character, with the line number and the line count.
    int calls = 0;
    int lastLine = 0;
    parser.OnParsing = [&](THTMLParser *, int line, int total) {
        ++calls;
        lastLine = line;
        QCOMPARE(total, int(lines.size()));
    };
    parser.Parse();
    QCOMPARE(calls, int(lines.join(QString()).size()));
    if (calls > 0)
        QCOMPARE(lastLine, int(lines.size()));
}

void TestHTMLParser::parseTwiceKeepsCategories()
{
    THTMLParser parser;
    parser.setHTML({R"(<a href="a.htm">a</a><img src=1.gif>)"});
    parser.Parse();
    parser.setHTML({R"(<a href="b.htm">b</a><img src=2.gif>)"});
    parser.Parse();
    QCOMPARE(parser.Parsed().HTML.Local, (QStringList{"a.htm", "b.htm"}));
    QCOMPARE(parser.Parsed().Hyperlinks, QStringList{"b.htm"});
    QCOMPARE(parser.Parsed().Images, QStringList{"2.gif"});
}

void TestHTMLParser::splitURL_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<QStringList>("parts"); // protocol, path, query, file name
    QTest::newRow("full") << "http://www.x.com/dir/a.htm?q=1" << QStringList{"http", "www.x.com/dir/", "q=1", "a.htm"};
    QTest::newRow("mailto") << "MAILTO:me@x.com" << QStringList{"MAILTO:", "", "", "me@x.com"};
    QTest::newRow("folder") << "dir/sub" << QStringList{"http", "dir/sub/", "", ""};
    QTest::newRow("folder with slash") << "dir/sub/" << QStringList{"http", "dir/sub/", "", ""};
    QTest::newRow("file") << "a.gif" << QStringList{"http", "", "", "a.gif"};
    QTest::newRow("host only") << "http://x.com" << QStringList{"http", "", "", "x.com"};
    QTest::newRow("query without dot") << "dir/page?x" << QStringList{"http", "dir/page?x/", "", ""};
    QTest::newRow("slash in query") << "a.php?x=1/b" << QStringList{"http", "a.php?x=1/b/", "", ""};
    QTest::newRow("empty") << "" << QStringList{"http", "/", "", ""};
}

void TestHTMLParser::splitURL()
{
    QFETCH(QString, link);
    QFETCH(QStringList, parts);
    const TSplitURL s = SplitURL(link);
    QCOMPARE((QStringList{s.Protocol, s.Path, s.Query, s.FileName}), parts);
}

void TestHTMLParser::attributes_data()
{
    QTest::addColumn<QString>("tag");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("value");
    QTest::newRow("quoted with blank") << R"(img src="a b.gif" w=1)" << "src" << R"(src="a b.gif" )" << "a b.gif";
    QTest::newRow("last in tag") << "img src=a.gif" << "src" << "src=a.gif" << "a.gif";
    QTest::newRow("any case") << "IMG SRC=a.gif" << "src" << "SRC=a.gif" << "a.gif";
    QTest::newRow("single quotes") << "img SRC='a.gif'" << "src" << "SRC='a.gif'" << "'a.gif'";
    QTest::newRow("absent") << "img alt=x" << "src" << "" << "";
    QTest::newRow("no =: the text itself") << "img src" << "src" << "src" << "src";
    QTest::newRow("ends at >") << "src=a>b c" << "src" << "src=a>" << "a>";
    QTest::newRow("quote in the middle") << R"(img src=a"b c"d e)" << "src" << R"(src=a"b c"d )" << "ab c";
    QTest::newRow("inside a longer name") << R"(img datasrc="x" src="y")" << "src" << R"(src="x" )" << "x";
}

void TestHTMLParser::attributes()
{
    QFETCH(QString, tag);
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QString, value);
    QCOMPARE(AttributeText(tag, name), text);
    QCOMPARE(AttributeValue(text), value);
}

void TestHTMLParser::builtInListDropsRepeats()
{
    TResourceList list;
    ParseImagesBuiltIn("<img src=b.gif><img src=A.GIF><img src=a.gif><img src=c.gif><img src=b.gif>", list);
    // Sorted without regard to case; the first spelling of an address stays.
    QCOMPARE(list.Strings(), (QStringList{"A.GIF", "b.gif", "c.gif"}));

    // A page that lists an absurd number of images gives its first ten thousand.
    QByteArray many;
    for (int i = 0; i < 25000; ++i)
        many += "<img src=i" + QByteArray::number(i) + ".gif>";
    TResourceList bounded;
    ParseImagesBuiltIn(many, bounded);
    QCOMPARE(bounded.Count(), TResourceList::kMaxEntries);
    QVERIFY(bounded.Strings().contains(QStringLiteral("i9999.gif")));
    QVERIFY(!bounded.Strings().contains(QStringLiteral("i10000.gif")));
}

void TestHTMLParser::linearOnAdversarialInput_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<QByteArray>("unit");
    QTest::addColumn<QByteArray>("tail");
    QTest::newRow("a megabyte of <") << QByteArray() << QByteArray("<") << QByteArray();
    QTest::newRow("quotes inside one tag") << QByteArray("<img src=\"") << QByteArray("\"") << QByteArray("\">");
    QTest::newRow("blanks inside quotes") << QByteArray("<img src=\"") << QByteArray(" ") << QByteArray("\">");
    QTest::newRow("slashes in a link") << QByteArray("<a href=") << QByteArray("/") << QByteArray(">");
    QTest::newRow("tags inside the title") << QByteArray("<title>") << QByteArray("<b>") << QByteArray();
    QTest::newRow("many images") << QByteArray() << QByteArray("<img src=a>") << QByteArray();
    QTest::newRow("lines") << QByteArray() << QByteArray("<\n") << QByteArray();
}

void TestHTMLParser::linearOnAdversarialInput()
{
    // The scanner's cost grows with the page, not with its square (measured here against
    // itself, in the same run).
    QFETCH(QByteArray, head);
    QFETCH(QByteArray, unit);
    QFETCH(QByteArray, tail);
    auto page = [&](qsizetype bytes) { return head + unit.repeated(bytes / unit.size()) + tail; };
    // Eight times the input: linear work takes about eight times as long, quadratic work 64.
    const QByteArray small = page(512 * 1024);
    const QByteArray large = page(4 * 1024 * 1024);
    auto scan = [](const QByteArray &p) {
        return [&p] {
            TResourceList list;
            ParseImagesBuiltIn(p, list);
            THTMLParser parser;
            parser.setHTML({QString::fromLatin1(p)});
            parser.Parse();
        };
    };
    const double tSmall = TimeOf(scan(small));
    const double tLarge = TimeOf(scan(large));
    qInfo("%s: %.1f ms for 512 KiB, %.1f ms for 4 MiB", QTest::currentDataTag(), tSmall, tLarge);
    QVERIFY2(tLarge < 32 * std::max(tSmall, 2.0), "more than linear growth");
}

QTEST_GUILESS_MAIN(TestHTMLParser)
#include "tst_htmlparser.moc"
