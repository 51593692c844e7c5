// Kivrel's start-up: the data-kind table, the settings, a fresh activity log,
// then one of three modes chosen from the command line:
//   /s or -s  the settings dialog alone;
//   /a or -a  one unattended download run, then the program ends;
//   otherwise the main window.
// The switches are looked for anywhere in an argument, without regard to case,
// and the settings switch wins; an unknown option ends the program with the
// usage (CommandLineHelp). Without a mail server set, the automatic mode ends
// at once (78) and the window opens the settings dialog.
//
// Without a display (no DISPLAY, no WAYLAND_DISPLAY, no QT_QPA_PLATFORM) only
// the automatic mode can run: it runs on the console (ConsoleHost), creates no
// widget, prints every status text and message box on standard output, and
// answers each box as its default button would.
//
// --help, -h and --version (exactly these) are answered before anything else.
//
// Files of an earlier version are moved to the XDG folders first (AppPaths).
//
// Test aid: KIVREL_TEST_AUTOCLOSE_MS=<n> closes every window n ms after start,
// so scripts can run the interactive modes to their end.

#include "app/consolehost.h"
#include "core/activitylog.h"
#include "core/apppaths.h"
#include "core/commandlinehelp.h"
#include "core/datakinds.h"
#include "core/datetext.h"
#include "core/exitcode.h"
#include "core/settings.h"
#include "download/runlock.h"
#include "platform/consoleline.h"
#include "platform/messagebox.h"
#include "platform/secretstore.h"
#include "ui/frmmain.h"
#include "ui/frmsetting.h"
#include "ui/widgetmessagebox.h"

#include <QApplication>
#include <QLayout>
#include <QStringList>
#include <QTimer>

#include <cstdio>
#include <exception>
#include <optional>
#include <memory>

namespace {

using CommandLineHelp::StartMode;

QStringList argumentsOf(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    return arguments;
}

bool displayAvailable()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
}

// A platform nobody can look at: boxes must not wait for a click there.
bool headlessPlatform()
{
    const QString name = QGuiApplication::platformName();
    return name == QLatin1String("offscreen") || name == QLatin1String("minimal");
}

void armAutoclose()
{
    bool ok = false;
    const int ms = qEnvironmentVariableIntValue("KIVREL_TEST_AUTOCLOSE_MS", &ok);
    if (!ok || ms <= 0)
        return;
    QTimer::singleShot(ms, qApp, [ms] {
        frmMain::closeAllWindows();
        // Something refused to close: end anyway, so a script never hangs.
        QTimer::singleShot(ms, qApp, [] { QCoreApplication::exit(exitStatus(ExitCode::AutocloseFailed)); });
    });
}

// Whatever exception nothing else caught ends the program as a failed run, with
// its reason on standard error and in the activity log. Standard error comes
// first: it needs no memory, and the log may not be writable.
int exitOnUncaught(const char *what)
{
    const QString text = QStringLiteral("予期しないエラーで終了しました: ") + QString::fromLocal8Bit(what);
    try {
        ConsoleLine::print(stderr, QStringLiteral("kivrel: ") + text, ConsoleLine::Priority::Err);
        if (!WriteActivityLog(text))
            ConsoleLine::print(stderr, QStringLiteral("kivrel: 動作ログに書き込めませんでした"),
                               ConsoleLine::Priority::Err);
    } catch (...) {
        // Nothing more can be kept: standard error has the reason.
    }
    return exitStatus(ExitCode::CouldNotRun);
}

int runKivrel(int argc, char **argv)
{
    if (const auto request = CommandLineHelp::requestOf(argc, argv))
        return exitStatus(CommandLineHelp::answer(*request));
    const CommandLineHelp::Parsed commandLine = CommandLineHelp::parse(argumentsOf(argc, argv));
    if (!commandLine.unknownOption.isNull()) {
        ConsoleLine::print(stderr, CommandLineHelp::unknownOptionText(commandLine.unknownOption).trimmed(),
                           ConsoleLine::Priority::Err);
        return exitStatus(ExitCode::Usage);
    }
    pinLocalTimeZone();
    const StartMode mode = commandLine.mode;
    const bool display = displayAvailable();
    if (!display && mode != StartMode::Automatic) {
        ConsoleLine::print(stderr, CommandLineHelp::NoDisplayText, ConsoleLine::Priority::Err);
        return exitStatus(ExitCode::NoDisplay);
    }

    // The arguments are ours alone: Qt gets none of them to interpret.
    int qtArgc = 1;
    char *qtArgv[] = {argv[0], nullptr};
    // Without a display nothing graphical is started at all.
    const std::unique_ptr<QCoreApplication> app =
        display ? std::make_unique<QApplication>(qtArgc, qtArgv) : std::make_unique<QCoreApplication>(qtArgc, qtArgv);
    QCoreApplication::setApplicationName(frmMainText::Title);

    const bool headless = !display || headlessPlatform();
    if (!headless)
        WidgetMessageBox::install();

    // Only a window someone works in has the desktop ask to unlock the keyring.
    SecretStore::setMayPrompt(mode != StartMode::Automatic);
    const AppPaths::MoveReport moved = AppPaths::moveOldFiles();
    InitDataKinds();
    LoadSettings();
    // Automatic mode holds the run lock from here to its end. A start while
    // another Kivrel downloads leaves that run's activity log as it is; the run
    // itself then reports the refusal.
    std::optional<RunLock> runLock;
    if (mode == StartMode::Automatic)
        runLock.emplace();
    if (runLock ? runLock->held() : !RunLock::heldByAnotherProcess())
        WriteStartLog();
    for (const QString &line : moved.lines)
        WriteActivityLog(line);
    if (moved.failed)
        ConsoleLine::print(stderr, QStringLiteral("kivrel: ") + moved.lines.join(QStringLiteral("\nkivrel: ")),
                           ConsoleLine::Priority::Warning);
    if (mode == StartMode::Automatic && Settings.ServerName.trimmed().isEmpty()) {
        WriteActivityLog(CommandLineHelp::NotConfiguredText);
        ConsoleLine::print(stderr, QStringLiteral("kivrel: ") + CommandLineHelp::NotConfiguredText,
                           ConsoleLine::Priority::Err);
        return exitStatus(ExitCode::NotConfigured);
    }
    armAutoclose();

    switch (mode) {
    case StartMode::SettingsOnly: {
        auto *dialog = new frmSetting;
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->show();
        return app->exec();
    }
    case StartMode::Automatic: {
        if (!display)
            return ConsoleHost::runAutomatic();
        frmMain window;
        window.setStatusEcho(headless);
        // Nobody can look at this window: its texts go to standard output, and
        // drawing it (the grid after every stored mail) would cost most of the run.
        if (headless)
            window.setUpdatesEnabled(false);
        window.show();
        if (headless) {
            // Nor lay it out again for every status text (the label measures
            // each new text): it keeps the layout it was shown with.
            QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
            for (QLayout *layout : window.findChildren<QLayout *>())
                layout->setEnabled(false);
        }
        window.setAutomaticMode();
        window.DoDownload();
        frmMain::closeAllWindows();
        const int status = exitStatus(window.lastRunExitCode());
        ConsoleHost::reportRunEnd(status, window.statusText());
        return status;
    }
    case StartMode::Normal:
        break;
    }
    frmMain window;
    window.show();
    window.guideFirstStart();
    return app->exec();
}

} // namespace

int main(int argc, char **argv)
{
    try {
        return runKivrel(argc, argv);
    } catch (const std::exception &e) {
        return exitOnUncaught(e.what());
    } catch (...) {
        return exitOnUncaught("unknown exception");
    }
}
