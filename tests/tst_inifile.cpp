#include "ConfigFile.h"
#include "DateTimeText.h"
#include "IniFile.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

using namespace vq;

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

} // namespace

class TestIniFile : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString path(const char *name) const { return m_dir.filePath(QString::fromLatin1(name)); }

private Q_SLOTS:
    void readString_data();
    void readString();
    void readInteger_data();
    void readInteger();
    void readBool_data();
    void readBool();
    void garbledFilesReadWithDefaults_data();
    void garbledFilesReadWithDefaults();
    void writesKeepUntouchedLinesByteForByte();
    void newKeysAndSections();
    void writeIsSeenByEveryReader();
    void replaceSectionKeepsPlaceAndMergesCase();
    void readSectionOrderAndDuplicates();
    void unstorableNamesAreRefused_data();
    void unstorableNamesAreRefused();
    void failedWriteLeavesFileWhole();
    void oversizedFileIsNeverOverwritten();
    void dateTimeRoundTrip();
    void dateTimeTwoDigitYearLocale();
    void configFileNameLayout();
    void typedKeysDefaults();
};

void TestIniFile::readString_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected"); // "<def>" when the default comes back

    QTest::newRow("plain") << QByteArray("[Config]\nServerURL=http://x/\n") << "Config" << "ServerURL" << "http://x/";
    QTest::newRow("key case") << QByteArray("[Prf Home]\nIspId=5\n") << "Prf Home" << "ISPId" << "5";
    QTest::newRow("section case") << QByteArray("[config]\nA=1\n") << "CONFIG" << "a" << "1";
    QTest::newRow("non-ASCII letters keep their case") << QByteArray("[S]\n\xc3\xa4=1\n") << "S" << "\xc3\x84" << "<def>";
    QTest::newRow("first key wins") << QByteArray("[S]\nk=1\nK=2\n") << "S" << "k" << "1";
    QTest::newRow("first section wins") << QByteArray("[S]\nk=1\n[s]\nk=2\nj=3\n") << "S" << "k" << "1";
    QTest::newRow("second section is hidden") << QByteArray("[S]\nk=1\n[s]\nj=3\n") << "S" << "j" << "<def>";
    QTest::newRow("keys before any section") << QByteArray("k=1\n[S]\n") << "S" << "k" << "<def>";
    QTest::newRow("blanks around") << QByteArray("[S]\n  k  =  a b  \n") << "S" << "k" << "a b";
    QTest::newRow("double quotes dropped") << QByteArray("[S]\nk=\" a \"\n") << "S" << "k" << " a ";
    QTest::newRow("single quotes dropped") << QByteArray("[S]\nk='x'\n") << "S" << "k" << "x";
    QTest::newRow("unmatched quotes kept") << QByteArray("[S]\nk=\"x'\n") << "S" << "k" << "\"x'";
    QTest::newRow("empty value is a value") << QByteArray("[S]\nk=\n") << "S" << "k" << "";
    QTest::newRow("line without equals") << QByteArray("[S]\njustkey\n") << "S" << "justkey" << "";
    QTest::newRow("equals inside value") << QByteArray("[S]\nk=a=b\n") << "S" << "k" << "a=b";
    QTest::newRow("comment line") << QByteArray("[S]\n;k=1\n") << "S" << ";k" << "<def>";
    QTest::newRow("CRLF") << QByteArray("[S]\r\nk=v\r\n") << "S" << "k" << "v";
    QTest::newRow("no final newline") << QByteArray("[S]\nk=v") << "S" << "k" << "v";
    QTest::newRow("blanks in header") << QByteArray("[ S ]\nk=v\n") << "S" << "k" << "v";
    QTest::newRow("header without bracket") << QByteArray("[S\nk=v\n") << "S" << "k" << "v";
    QTest::newRow("text after header") << QByteArray("[S] junk\nk=v\n") << "S" << "k" << "v";
    QTest::newRow("UTF-8 value") << QByteArray("[S]\nk=S\xc3\xa3o Paulo\n") << "S" << "k" << "S\xc3\xa3o Paulo";
    QTest::newRow("absent section") << QByteArray("[S]\nk=v\n") << "T" << "k" << "<def>";
}

void TestIniFile::readString()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    writeAll(path("read.ini"), content);
    IniFile ini(path("read.ini"));
    QCOMPARE(ini.ReadString(section, key, QStringLiteral("<def>")), expected);
    QCOMPARE(ini.ValueExists(section, key), expected != QLatin1String("<def>"));
}

void TestIniFile::readInteger_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("expected");
    QTest::newRow("decimal") << "12" << 12;
    QTest::newRow("negative") << "-5" << -5;
    QTest::newRow("plus sign") << "+3" << 3;
    QTest::newRow("hex") << "0x1F" << 31;
    QTest::newRow("hex capital X") << "0X10" << 16;
    QTest::newRow("hex bit pattern") << "0xFFFFFFFF" << -1;
    QTest::newRow("hex too wide") << "0x100000000" << 77;
    QTest::newRow("hex without digits") << "0x" << 77;
    QTest::newRow("word") << "abc" << 77;
    QTest::newRow("empty") << "" << 77;
    QTest::newRow("fraction") << "1.5" << 77;
    QTest::newRow("exponent") << "1e3" << 77;
    QTest::newRow("trailing junk") << "12abc" << 77;
    QTest::newRow("too large") << "99999999999" << 77;
    QTest::newRow("int min") << "-2147483648" << std::numeric_limits<int>::min();
    QTest::newRow("non-ASCII digit") << QString::fromUtf8("\xd9\xa3") << 77;
}

void TestIniFile::readInteger()
{
    QFETCH(QString, value);
    QFETCH(int, expected);
    writeAll(path("int.ini"), "[Config]\nMultiplier=" + value.toUtf8() + "\n");
    QCOMPARE(IniFile(path("int.ini")).ReadInteger(QStringLiteral("Config"), QStringLiteral("Multiplier"), 77), expected);
}

void TestIniFile::readBool_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("def");
    QTest::addColumn<bool>("expected");
    QTest::newRow("1") << "1" << false << true;
    QTest::newRow("0") << "0" << true << false;
    QTest::newRow("any non-zero") << "2" << false << true;
    QTest::newRow("hex zero") << "0x0" << true << false;
    QTest::newRow("word gives default true") << "true" << true << true;
    QTest::newRow("word gives default false") << "true" << false << false;
}

void TestIniFile::readBool()
{
    QFETCH(QString, value);
    QFETCH(bool, def);
    QFETCH(bool, expected);
    writeAll(path("bool.ini"), "[Config]\nUseSkin=" + value.toUtf8() + "\n");
    QCOMPARE(IniFile(path("bool.ini")).ReadBool(QStringLiteral("Config"), QStringLiteral("UseSkin"), def), expected);
}

void TestIniFile::garbledFilesReadWithDefaults_data()
{
    QTest::addColumn<QByteArray>("content");
    QByteArray junk;
    for (int i = 0; i < 4096; ++i)
        junk += char((i * 131 + 7) & 0xff);
    QTest::newRow("binary junk") << junk;
    QTest::newRow("NUL bytes") << QByteArray("[Config]\0Multiplier=3\0\n", 23);
    QTest::newRow("megabyte line") << (QByteArray("[Config]\nMultiplier=") + QByteArray(1 << 20, '9') + "\n");
    QTest::newRow("megabyte of brackets") << QByteArray(1 << 20, '[');
    QTest::newRow("invalid UTF-8") << QByteArray("[Config]\nMultiplier=\xff\xfe\n");
}

void TestIniFile::garbledFilesReadWithDefaults()
{
    QFETCH(QByteArray, content);
    writeAll(path("junk.ini"), content);
    ConfigFile ini(path("junk.ini"));
    QCOMPARE(ini.Read(cfg::Multiplier), 0);
    QCOMPARE(ini.Read(cfg::ParsingMethod), 2);
    // A write works and keeps every byte that was there.
    ini.Write(cfg::UseSkin, false);
    QCOMPARE(ini.Read(cfg::UseSkin), false);
    QVERIFY(readAll(path("junk.ini")).startsWith(content));
}

void TestIniFile::writesKeepUntouchedLinesByteForByte()
{
    const QByteArray before = "; written by hand\r\n[Config]\r\nUseSkin = 1   \r\nodd line\r\n\r\n[Position]\r\nWidth=700\r\n";
    writeAll(path("keep.ini"), before);
    IniFile ini(path("keep.ini"));
    ini.WriteString(QStringLiteral("config"), QStringLiteral("USESKIN"), QStringLiteral("0"));
    // The key keeps the spelling the file uses, and the file keeps its line ends.
    QCOMPARE(readAll(path("keep.ini")),
             QByteArray("; written by hand\r\n[Config]\r\nUseSkin=0\r\nodd line\r\n\r\n[Position]\r\nWidth=700\r\n"));
}

void TestIniFile::newKeysAndSections()
{
    writeAll(path("new.ini"), "[A]\nx=1\n\n[B]\ny=2\n");
    IniFile ini(path("new.ini"));
    ini.WriteString(QStringLiteral("A"), QStringLiteral("z"), QStringLiteral("3"));
    ini.WriteInteger(QStringLiteral("C"), QStringLiteral("n"), -4);
    ini.WriteBool(QStringLiteral("B"), QStringLiteral("b"), true);
    QCOMPARE(readAll(path("new.ini")), QByteArray("[A]\nx=1\nz=3\n\n[B]\ny=2\nb=1\n[C]\nn=-4\n"));
    ini.DeleteKey(QStringLiteral("a"), QStringLiteral("X"));
    ini.EraseSection(QStringLiteral("b"));
    QCOMPARE(readAll(path("new.ini")), QByteArray("[A]\nz=3\n\n[C]\nn=-4\n"));
}

void TestIniFile::writeIsSeenByEveryReader()
{
    QFile::remove(path("shared.ini"));
    IniFile reader(path("shared.ini"));
    QCOMPARE(reader.ReadInteger(QStringLiteral("S"), QStringLiteral("k"), -1), -1);
    IniFile writer(path("shared.ini"));
    writer.WriteInteger(QStringLiteral("S"), QStringLiteral("k"), 1);
    QCOMPARE(reader.ReadInteger(QStringLiteral("S"), QStringLiteral("k"), -1), 1);
    // And a write through the first object does not undo the second one's.
    reader.WriteInteger(QStringLiteral("S"), QStringLiteral("j"), 2);
    writer.WriteInteger(QStringLiteral("S"), QStringLiteral("k"), 3);
    QCOMPARE(reader.ReadInteger(QStringLiteral("S"), QStringLiteral("j"), -1), 2);
    QCOMPARE(reader.ReadInteger(QStringLiteral("S"), QStringLiteral("k"), -1), 3);
}

void TestIniFile::replaceSectionKeepsPlaceAndMergesCase()
{
    writeAll(path("sites.ini"), "[Config]\nA=1\n[LocalSites]\nold.example=\n[UserInfo]\nUserId=4\n");
    IniFile ini(path("sites.ini"));
    ini.ReplaceSection(QStringLiteral("LocalSites"), {{QStringLiteral("b.example"), {}},
                                                      {QStringLiteral("a.example/q?x=1"), {}},
                                                      {QStringLiteral("B.EXAMPLE"), {}}});
    QCOMPARE(readAll(path("sites.ini")),
             QByteArray("[Config]\nA=1\n[LocalSites]\nb.example=\na.example/q?x=1=\n[UserInfo]\nUserId=4\n"));
    // A site with "=" reads back as the text before the first "=".
    QCOMPARE(ini.ReadSection(QStringLiteral("LocalSites")),
             QStringList({QStringLiteral("b.example"), QStringLiteral("a.example/q?x")}));
    // A refused entry leaves the file as it was.
    QVERIFY_THROWS_EXCEPTION(EIniFileError, ini.ReplaceSection(QStringLiteral("LocalSites"),
                                                               {{QStringLiteral("c"), {}}, {QStringLiteral("d\ne"), {}}}));
    QCOMPARE(ini.ReadSection(QStringLiteral("LocalSites")).size(), 2);
}

void TestIniFile::readSectionOrderAndDuplicates()
{
    writeAll(path("order.ini"), "[LocalSites]\nz.example=\n; off.example=\na.example=\nZ.EXAMPLE=\nm.example\n[LocalSites]\nlate.example=\n");
    QCOMPARE(IniFile(path("order.ini")).ReadSection(QStringLiteral("localsites")),
             QStringList({QStringLiteral("z.example"), QStringLiteral("a.example"), QStringLiteral("m.example")}));
}

void TestIniFile::unstorableNamesAreRefused_data()
{
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::newRow("line feed in value") << "S" << "k" << "a\nb";
    QTest::newRow("carriage return in key") << "S" << "k\r" << "v";
    QTest::newRow("bracket in section") << "Prfa]b" << "k" << "v";
    QTest::newRow("key opens a section") << "S" << "[k" << "v";
    QTest::newRow("key is a comment") << "S" << ";k" << "v";
    QTest::newRow("empty key") << "S" << "  " << "v";
}

void TestIniFile::unstorableNamesAreRefused()
{
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);
    writeAll(path("refuse.ini"), "[S]\nk=1\n");
    IniFile ini(path("refuse.ini"));
    QVERIFY_THROWS_EXCEPTION(EIniFileError, ini.WriteString(section, key, value));
    QCOMPARE(readAll(path("refuse.ini")), QByteArray("[S]\nk=1\n"));
}

void TestIniFile::failedWriteLeavesFileWhole()
{
    // A full disk, as a file size limit: the new file cannot be written completely.
    const QString dir = m_dir.filePath(QStringLiteral("full"));
    QDir().mkpath(dir);
    const QString file = dir + QStringLiteral("/v.ini");
    const QByteArray before = "[S]\nk=" + QByteArray(100, 'x') + "\n";
    writeAll(file, before);
    IniFile ini(file);
    rlimit old{};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 64;
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
    QString message;
    try {
        ini.WriteString(QStringLiteral("S"), QStringLiteral("j"), QStringLiteral("2"));
    } catch (const EIniFileError &e) {
        message = e.message();
    }
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    QVERIFY2(message.contains(QStringLiteral("could not be written")), qPrintable(message));
    QCOMPARE(readAll(file), before);
    QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("v.ini")});
    // The object still reads what the disk holds.
    QCOMPARE(ini.ReadString(QStringLiteral("S"), QStringLiteral("j"), QStringLiteral("<none>")), QStringLiteral("<none>"));
}

void TestIniFile::oversizedFileIsNeverOverwritten()
{
    const QString file = path("huge.ini");
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("[Config]\nMultiplier=3\n");
        QVERIFY(f.resize(IniFile::kMaxFileSize + 1));
    }
    ConfigFile ini(file);
    QCOMPARE(ini.Read(cfg::Multiplier), 0);
    QVERIFY_THROWS_EXCEPTION(EIniFileError, ini.Write(cfg::Multiplier, 1));
    QCOMPARE(QFileInfo(file).size(), IniFile::kMaxFileSize + 1);
}

void TestIniFile::dateTimeRoundTrip()
{
    QFile::remove(path("date.ini"));
    ConfigFile ini(path("date.ini"));
    QCOMPARE(ini.Read(cfg::LastUpdateSites), QDateTime(QDate(1899, 12, 30), QTime(0, 0)));

    const QDateTime stamp(QDate(2026, 3, 7), QTime(14, 5, 9));
    ini.Write(cfg::LastUpdateSites, stamp);
    QCOMPARE(ini.Read(cfg::LastUpdateSites), stamp);

    // Midnight is written as the date alone and reads back as midnight.
    const QDateTime midnight(QDate(2026, 3, 7), QTime(0, 0));
    ini.Write(cfg::LastUpdateISPs, midnight);
    QCOMPARE(ini.ReadString(QStringLiteral("Config"), QStringLiteral("LastUpdateISPs"), {}),
             QLocale().toString(midnight.date(), ShortDateFormat()));
    QCOMPARE(ini.Read(cfg::LastUpdateISPs), midnight);

    // Written under another regional format: counts as absent, so the table is fetched again.
    ini.WriteString(QStringLiteral("Config"), QStringLiteral("LastUpdateConnectionTypes"), QStringLiteral("07.03.2026 14:05:09"));
    QCOMPARE(ini.Read(cfg::LastUpdateConnectionTypes), ZeroDateTime());
}

void TestIniFile::dateTimeTwoDigitYearLocale()
{
    // en_US writes short dates as M/d/yy; a two-digit year would read back a century early.
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    const QDateTime stamp(QDate(2026, 12, 1), QTime(9, 30, 0));
    const QString text = DateTimeToStr(stamp, us);
    QVERIFY2(text.contains(QStringLiteral("2026")), qPrintable(text));
    QCOMPARE(StrToDateTime(text, us), stamp);
}

void TestIniFile::configFileNameLayout()
{
    test::TestEnvironment env;
    const QString name = ConfigFileName(QStringLiteral("veloqua"));
    QCOMPARE(name, env.configHome() + QStringLiteral("/Tavistel Utilities/veloqua/veloqua.ini"));
    QVERIFY(QFileInfo(QFileInfo(name).absolutePath()).isDir());
    QVERIFY(!QFile::exists(name)); // the file appears with the first write
    QCOMPARE(DataFolder(QStringLiteral("veloqua")), QFileInfo(name).absolutePath());
    // A renamed executable gets a configuration of its own.
    QVERIFY(ConfigFileName().endsWith(QStringLiteral("/tst_inifile/tst_inifile.ini")));
}

void TestIniFile::typedKeysDefaults()
{
    QFile::remove(path("none.ini"));
    ConfigFile ini(path("none.ini"));
    QCOMPARE(ini.Read(cfg::UseWinInet), false);
    QCOMPARE(ini.Read(cfg::ParsingMethod), 2);
    QCOMPARE(ini.Read(cfg::ThreeDCharts), true);
    QCOMPARE(ini.Read(cfg::UseSkin), true);
    QCOMPARE(ini.Read(cfg::PingInterval), 1);
    QCOMPARE(ini.Read(cfg::Width), 690);
    QCOMPARE(ini.Read(cfg::Height), 460);
    QCOMPARE(ini.Read(cfg::UserId), -1);
    QCOMPARE(ini.Read(cfg::LastProfile), QString());
    QCOMPARE(ini.Read(cfg::Left, 123), 123);
    QVERIFY(!QFile::exists(path("none.ini"))); // reading never creates the file
}

QTEST_GUILESS_MAIN(TestIniFile)
#include "tst_inifile.moc"
