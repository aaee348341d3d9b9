// The built-in HTML scanner against libxml2's HTML parser on the same pages: throughput (MB/s,
// and their ratio, measured in this run) on an ordinary page and on adversarial ones, and the
// peak memory each needs beyond the page itself.
//
//   bench_htmlscan [MiB]     (10 by default)
#include "ResourceList.h"
#include "HTMLParser.h"
#include "UI_Less.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <malloc.h>

using namespace vq;

namespace {

// Resident and peak resident memory of this process, in bytes (the peak can be reset).
qint64 StatusValue(const char *key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(qsizetype(std::strlen(key))).trimmed().split(' ').value(0).toLongLong() * 1024;
    }
    return -1;
}

void ResetPeak()
{
    malloc_trim(0);
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

QByteArray Repeat(const QByteArray &head, const QByteArray &unit, const QByteArray &tail, qsizetype size)
{
    QByteArray out = head;
    out.reserve(size + head.size() + tail.size() + unit.size());
    while (out.size() + unit.size() + tail.size() <= size)
        out += unit;
    return out + tail;
}

QByteArray OrdinaryPage(qsizetype size)
{
    QByteArray out = "<!DOCTYPE html>\n<html><head><title>News</title><meta name=\"description\" content=\"Daily\">"
                     "<link rel=\"stylesheet\" href=\"/s.css\"></head>\n<body>\n";
    for (int i = 0; out.size() < size; ++i) {
        const QByteArray n = QByteArray::number(i);
        out += "<div class=\"story\" id=\"s" + n + "\">\n  <h2><a href=\"/story/" + n + ".html\">Headline number " + n
               + "</a></h2>\n  <img src=\"/img/" + n + ".jpg\" width=\"120\" height=\"80\" alt=\"picture " + n + "\">\n"
               "  <p>Some words about the story, <b>bold</b> and <i>slanted</i>, with a <a href=\"http://x.example/"
               + n + "\">link</a> &amp; an entity.</p>\n  <!-- story " + n + " -->\n</div>\n";
        if (i % 50 == 0)
            out += "<script>var x = \"<img src=no.gif>\"; if (a < b) { f(); }</script>\n";
    }
    return out + "</body></html>\n";
}

struct Measure {
    double seconds = 0;   // best of three
    double peakRatio = 0; // peak memory beyond the page, over the page's size
    qsizetype images = 0;
};

Measure Run(const QByteArray &page, const std::function<qsizetype(const QByteArray &)> &parse)
{
    Measure m;
    m.seconds = 1e9;
    for (int i = 0; i < 3; ++i) {
        ResetPeak();
        const qint64 before = StatusValue("VmRSS:");
        QElapsedTimer t;
        t.start();
        m.images = parse(page);
        m.seconds = std::min(m.seconds, t.nsecsElapsed() / 1e9);
        const qint64 peak = StatusValue("VmHWM:");
        m.peakRatio = std::max(m.peakRatio, double(peak - before) / double(page.size()));
    }
    return m;
}

qsizetype BuiltIn(const QByteArray &page)
{
    TResourceList list;
    ParseImagesBuiltIn(page, list);
    return list.Count();
}

qsizetype LibXml2(const QByteArray &page)
{
    TResourceList list;
    TUILess host; // processing events while it parses, as in the runner
    host.ParseImages(page, list);
    return list.Count();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const qsizetype size = qsizetype(argc > 1 ? std::atof(argv[1]) : 10.0) * 1024 * 1024;
    const double mb = double(size) / (1024 * 1024);

    struct Case {
        const char *name;
        QByteArray page;
        bool adversarial;
    };
    std::vector<Case> cases;
    cases.push_back({"ordinary page", OrdinaryPage(size), false});
    cases.push_back({"all \"<\"", Repeat("", "<", "", size), true});
    cases.push_back({"quotes in one tag", Repeat("<img src=\"", "\"", "\">", size), true});
    cases.push_back({"blanks in one quoted value", Repeat("<img src=\"", " ", "\">", size), true});
    cases.push_back({"attributes of one tag", Repeat("<img ", "a=1 ", "src=x>", size), true});
    cases.push_back({"open elements", Repeat("", "<div>", "", size), true});
    cases.push_back({"unclosed comment", Repeat("<!--", "a", "", size), true});
    cases.push_back({"line breaks in a tag", Repeat("<img", "\n", " src=x>", size), true});
    cases.push_back({"dense images", Repeat("", "<img src=a>", "", size), true});
    {
        QByteArray distinct;
        distinct.reserve(size + 32);
        for (int i = 0; distinct.size() < size; ++i)
            distinct += "<img src=" + QByteArray::number(i, 36) + ">";
        cases.push_back({"dense distinct images", distinct, true});
    }

    std::printf("HTML scanning, %.0f MiB pages: built-in scanner vs libxml2 (best of 3, same run)\n\n", mb);
    std::printf("%-28s %12s %12s %8s %10s %10s %12s %12s\n", "page", "built-in", "libxml2", "ratio", "built-in",
                "libxml2", "built-in", "libxml2");
    std::printf("%-28s %12s %12s %8s %10s %10s %12s %12s\n", "", "MB/s", "MB/s", "", "s", "s", "mem/page", "mem/page");
    bool ok = true;
    for (const Case &c : cases) {
        const Measure b = Run(c.page, BuiltIn);
        const Measure x = Run(c.page, LibXml2);
        const double pb = mb / b.seconds;
        const double px = mb / x.seconds;
        std::printf("%-28s %12.1f %12.1f %7.2fx %10.3f %10.3f %11.2fx %11.2fx\n", c.name, pb, px, pb / px, b.seconds,
                    x.seconds, b.peakRatio, x.peakRatio);
        if (c.adversarial && (b.seconds >= 1.0 || x.seconds >= 1.0 || b.peakRatio >= 5.0 || x.peakRatio >= 5.0))
            ok = false;
    }
    std::printf("\nratio: built-in throughput over libxml2's; mem/page: peak memory beyond the page, over its size.\n");
    std::printf("adversarial pages under a second and under 5x memory for both: %s\n", ok ? "yes" : "NO");
    return 0;
}
