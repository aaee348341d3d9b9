#include "ScriptedPrompts.h"
#include "Settings.h"
#include "SiteListBox.h"
#include "TestEnvironment.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

using namespace vq;

namespace {

struct Dialog {
    explicit Dialog(const QStringList &sites = {})
        : dlg(prompts, autostart)
    {
        dlg.ListBox1()->addItems(sites);
    }
    QStringList sites() const { return dlg.Sites(); }
    void select(int row) { dlg.ListBox1()->setCurrentRow(row); }

    test::ScriptedPrompts prompts;
    test::FakeAutostart autostart;
    TFrmSettings dlg;
};

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void addSite_data();
    void addSite();
    void removeAsksFirst();
    void buttonStates_data();
    void buttonStates();
    void moveButtons();
    void dragDrop_data();
    void dragDrop();
    void dropBelowTheLastEntry();
    void proxyControls_data();
    void proxyControls();
    void startWithSessionFollowsTheEntry();
};

void TestSettings::addSite_data()
{
    QTest::addColumn<QVariant>("answer"); // invalid: the user cancels
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("scheme and slash dropped") << QVariant("http://a.example/") << QStringList{"a", "a.example"};
    QTest::newRow("capital scheme kept") << QVariant("HTTP://a.example/") << QStringList{"a", "HTTP://a.example"};
    QTest::newRow("https kept") << QVariant("https://s.example/x/") << QStringList{"a", "https://s.example/x"};
    QTest::newRow("one slash only") << QVariant("b.example//") << QStringList{"a", "b.example/"};
    QTest::newRow("duplicates allowed") << QVariant("a") << QStringList{"a", "a"};
    QTest::newRow("cancel") << QVariant() << QStringList{"a"};
    QTest::newRow("empty") << QVariant("") << QStringList{"a"};
    QTest::newRow("scheme alone") << QVariant("http://") << QStringList{"a"};
}

void TestSettings::addSite()
{
    QFETCH(QVariant, answer);
    QFETCH(QStringList, expected);
    Dialog d({"a"});
    d.prompts.answerInput(answer.isValid() ? std::optional<QString>(answer.toString()) : std::nullopt);
    d.dlg.btnAdd()->click();
    QCOMPARE(d.sites(), expected);
    QCOMPARE(d.prompts.asked().size(), 1);
    QCOMPARE(d.prompts.asked().at(0).caption, QStringLiteral("New site"));
    QCOMPARE(d.prompts.asked().at(0).text, QStringLiteral("Enter new site:"));
}

void TestSettings::removeAsksFirst()
{
    Dialog d({"a", "b", "c"});
    d.select(1);
    QVERIFY(d.dlg.btnDelete()->isEnabled());
    d.prompts.answerButton(MsgButton::No);
    d.dlg.btnDelete()->click();
    QCOMPARE(d.sites(), QStringList({"a", "b", "c"}));
    QCOMPARE(d.prompts.asked().at(0).text, QStringLiteral("Confirm delete of b?"));
    QCOMPARE(d.prompts.asked().at(0).buttons, MsgButtons(MsgButton::Yes | MsgButton::No));
    d.prompts.answerButton(MsgButton::Yes);
    d.dlg.btnDelete()->click();
    QCOMPARE(d.sites(), QStringList({"a", "c"}));
    QVERIFY(!d.dlg.btnDelete()->isEnabled()); // nothing selected any more
    d.dlg.btnDeleteClick();                   // and then nothing happens
    QCOMPARE(d.prompts.asked().size(), 2);
}

void TestSettings::buttonStates_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("selected");
    QTest::addColumn<bool>("up");
    QTest::addColumn<bool>("down");
    QTest::addColumn<bool>("remove");
    QTest::newRow("none selected") << 3 << -1 << false << false << false;
    QTest::newRow("first") << 3 << 0 << false << true << true;
    QTest::newRow("middle") << 3 << 1 << true << true << true;
    QTest::newRow("last") << 3 << 2 << true << false << true;
    QTest::newRow("only one") << 1 << 0 << false << false << true;
}

void TestSettings::buttonStates()
{
    QFETCH(int, count);
    QFETCH(int, selected);
    QFETCH(bool, up);
    QFETCH(bool, down);
    QFETCH(bool, remove);
    QStringList sites;
    for (int i = 0; i < count; ++i)
        sites.append(QString::number(i));
    Dialog d(sites);
    d.select(selected);
    QCOMPARE(d.dlg.btnMoveUp()->isEnabled(), up);
    QCOMPARE(d.dlg.btnMoveDown()->isEnabled(), down);
    QCOMPARE(d.dlg.btnDelete()->isEnabled(), remove);
}

void TestSettings::moveButtons()
{
    Dialog d({"a", "b", "c"});
    d.dlg.btnMoveDownClick(); // nothing selected: nothing moves
    QCOMPARE(d.sites(), QStringList({"a", "b", "c"}));
    d.select(0);
    d.dlg.btnMoveDown()->click();
    QCOMPARE(d.sites(), QStringList({"b", "a", "c"}));
    QCOMPARE(d.dlg.ListBox1()->currentRow(), 1);
    d.dlg.btnMoveDown()->click();
    QCOMPARE(d.sites(), QStringList({"b", "c", "a"}));
    QVERIFY(!d.dlg.btnMoveDown()->isEnabled());
    d.dlg.btnMoveUp()->click();
    QCOMPARE(d.sites(), QStringList({"b", "a", "c"}));
    QCOMPARE(d.dlg.ListBox1()->currentRow(), 1);
}

void TestSettings::dragDrop_data()
{
    QTest::addColumn<QStringList>("sites");
    QTest::addColumn<int>("source");
    QTest::addColumn<int>("target");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("selected");
    const QStringList abcd{"a", "b", "c", "d"};
    QTest::newRow("upwards") << abcd << 3 << 1 << QStringList{"a", "d", "b", "c"} << 1;
    QTest::newRow("downwards") << abcd << 0 << 2 << QStringList{"b", "c", "a", "d"} << 2;
    QTest::newRow("onto the last") << abcd << 1 << 3 << QStringList{"a", "c", "d", "b"} << 3;
    QTest::newRow("below the last") << abcd << 1 << 4 << QStringList{"a", "c", "d", "b"} << 3;
    QTest::newRow("onto itself") << abcd << 2 << 2 << abcd << 2;
    QTest::newRow("single entry") << QStringList{"a"} << 0 << 1 << QStringList{"a"} << -1;
    QTest::newRow("drag began on no entry") << abcd << -1 << 2 << abcd << -1;
}

void TestSettings::dragDrop()
{
    QFETCH(QStringList, sites);
    QFETCH(int, source);
    QFETCH(int, target);
    QFETCH(QStringList, expected);
    QFETCH(int, selected);
    Dialog d(sites);
    d.dlg.ListBox1MouseDown(source);
    d.dlg.ListBox1DragDrop(target);
    QCOMPARE(d.sites(), expected);
    QCOMPARE(d.dlg.ListBox1()->currentRow(), selected);
    if (selected >= 0) {
        QCOMPARE(d.dlg.btnMoveUp()->isEnabled(), selected > 0);
        QCOMPARE(d.dlg.btnMoveDown()->isEnabled(), selected < expected.size() - 1);
    }
}

void TestSettings::dropBelowTheLastEntry()
{
    Dialog d({"a", "b"});
    d.dlg.resize(517, 393);
    d.dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d.dlg));
    auto *list = qobject_cast<SiteListBox *>(d.dlg.ListBox1());
    QVERIFY(list);
    const QRect first = list->visualItemRect(list->item(0));
    const QRect last = list->visualItemRect(list->item(1));
    QCOMPARE(list->dropIndexAt(first.center()), 0);
    QCOMPARE(list->dropIndexAt(last.center()), 1);
    QCOMPARE(list->dropIndexAt(QPoint(last.center().x(), last.bottom() + 20)), 2);
    d.dlg.hide();
}

void TestSettings::proxyControls_data()
{
    QTest::addColumn<bool>("ie");
    QTest::addColumn<bool>("proxy");
    QTest::addColumn<bool>("proxyEnabled");
    QTest::addColumn<bool>("groupEnabled");
    QTest::newRow("own client, proxy on") << false << true << true << true;
    QTest::newRow("own client, proxy off") << false << false << true << false;
    QTest::newRow("system settings, proxy on") << true << true << false << false;
    QTest::newRow("system settings, proxy off") << true << false << false << false;
}

void TestSettings::proxyControls()
{
    QFETCH(bool, ie);
    QFETCH(bool, proxy);
    QFETCH(bool, proxyEnabled);
    QFETCH(bool, groupEnabled);
    Dialog d;
    d.dlg.cbProxy()->setChecked(proxy);
    d.dlg.cbIeSettings()->setChecked(!ie);
    d.dlg.cbIeSettings()->click(); // as the user does it
    QCOMPARE(d.dlg.cbIeSettings()->isChecked(), ie);
    QCOMPARE(d.dlg.cbProxy()->isEnabled(), proxyEnabled);
    QCOMPARE(d.dlg.GroupBox1()->isEnabled(), groupEnabled);
    if (proxyEnabled) {
        d.dlg.cbProxy()->click();
        QCOMPARE(d.dlg.GroupBox1()->isEnabled(), !proxy);
    }
}

void TestSettings::startWithSessionFollowsTheEntry()
{
    Dialog d;
    d.autostart.enabled = true;
    d.dlg.FormShow();
    QVERIFY(d.dlg.cbStartWithWindows()->isChecked());
    d.autostart.enabled = false;
    d.dlg.FormShow();
    QVERIFY(!d.dlg.cbStartWithWindows()->isChecked());
}

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
