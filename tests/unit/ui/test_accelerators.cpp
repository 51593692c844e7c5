// No two controls of one window or dialog share an Alt accelerator. A menu is
// a scope of its own (its items only answer while it is open); the menu bar's
// titles belong to the window.
#include "testsupport.h"
#include "ui/frmabout.h"
#include "ui/frmdir.h"
#include "ui/frmmain.h"
#include "ui/frmsetting.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTabWidget>
#include <QtTest>

#include <memory>

namespace {

// The accelerator of a text ("&&" is a literal ampersand), or 0.
QChar acceleratorOf(const QString &text)
{
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != QLatin1Char('&'))
            continue;
        if (text[i + 1] != QLatin1Char('&'))
            return text[i + 1].toUpper();
        ++i;
    }
    return QChar();
}

// "scope: letter text, text" for every letter used twice in one scope.
QStringList duplicatesIn(QWidget *window)
{
    QMap<QString, QMultiMap<QChar, QString>> scopes;
    const auto note = [&scopes](const QString &scope, const QString &text) {
        const QChar letter = acceleratorOf(text);
        if (!letter.isNull())
            scopes[scope].insert(letter, text);
    };
    const QString own = window->objectName();
    for (QAbstractButton *b : window->findChildren<QAbstractButton *>())
        note(own, b->text());
    for (QLabel *l : window->findChildren<QLabel *>())
        note(own, l->text());
    for (QGroupBox *g : window->findChildren<QGroupBox *>())
        note(own, g->title());
    for (QTabWidget *t : window->findChildren<QTabWidget *>())
        for (int i = 0; i < t->count(); ++i)
            note(own, t->tabText(i));
    for (QMenuBar *bar : window->findChildren<QMenuBar *>())
        for (QAction *a : bar->actions())
            note(own, a->text());
    for (QMenu *menu : window->findChildren<QMenu *>())
        for (QAction *a : menu->actions())
            note(own + QLatin1Char('/') + menu->objectName() + menu->title(), a->text());
    QStringList found;
    for (auto scope = scopes.cbegin(); scope != scopes.cend(); ++scope)
        for (const QChar letter : scope->uniqueKeys())
            if (scope->count(letter) > 1)
                found << scope.key() + QStringLiteral(": ") + letter + QLatin1Char(' ') +
                             QStringList(scope->values(letter)).join(QStringLiteral(", "));
    return found;
}

} // namespace

class TestAccelerators : public QObject
{
    Q_OBJECT
private slots:
    void noWindowSharesAnAccelerator_data()
    {
        QTest::addColumn<int>("which");
        QTest::newRow("main window") << 0;
        QTest::newRow("settings") << 1;
        QTest::newRow("about") << 2;
        QTest::newRow("send to folder") << 3;
    }
    void noWindowSharesAnAccelerator()
    {
        QFETCH(int, which);
        TempProgramFolder folder;
        std::unique_ptr<QWidget> window;
        QStringList duplicates;
        switch (which) {
        case 0: window = std::make_unique<frmMain>(); break;
        case 1: window = std::make_unique<frmSetting>(); break;
        case 2: window = std::make_unique<frmAbout>(); break;
        default:
            // The folder picker exists only while it is asked for a folder.
            frmDir::setTestDriver([&duplicates](frmDir *dialog) { duplicates = duplicatesIn(dialog); });
            frmDir::Execute(QStringLiteral("/"));
            frmDir::setTestDriver(nullptr);
            frmDir::destroyInstance();
            break;
        }
        if (window)
            duplicates = duplicatesIn(window.get());
        QVERIFY2(duplicates.isEmpty(), qPrintable(duplicates.join(QLatin1Char('\n'))));
    }
    void acceleratorOfText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("letter");
        QTest::newRow("plain") << "設定(&p)" << "P";
        QTest::newRow("literal ampersand") << "A && B" << "";
        QTest::newRow("after a literal one") << "A && (&B)" << "B";
        QTest::newRow("none") << "OK" << "";
    }
    void acceleratorOfText()
    {
        QFETCH(QString, text);
        QFETCH(QString, letter);
        const QChar got = acceleratorOf(text);
        QCOMPARE(got.isNull() ? QString() : QString(got), letter);
    }
};

QTEST_MAIN(TestAccelerators)
#include "test_accelerators.moc"
