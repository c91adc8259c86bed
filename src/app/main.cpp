#include "app/SingleInstance.h"
#include "app/TerminationSignal.h"
#include "base/RunError.h"
#include "main_window/MainWindow.h"
#include "store/DataFile.h"
#include "version.h"
#include "widgets/AppIcon.h"
#include "widgets/WidgetMessageBox.h"

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#ifdef Q_OS_UNIX
#include <csignal>
#endif

namespace {
// The interface is Japanese whatever the system's language.
void setUpApplication(QTranslator &qtTranslator) {
    QApplication::setApplicationName(QStringLiteral("Pirune"));
    QApplication::setApplicationVersion(QString::fromLatin1(version::fileVersionText));
    // The Wayland app id: docks find the installed pirune.desktop and its icon by it.
    QGuiApplication::setDesktopFileName(QStringLiteral("pirune"));
    const QLocale japanese(QLocale::Japanese, QLocale::Japan);
    QLocale::setDefault(japanese);
    if (qtTranslator.load(japanese, QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTranslator);
    QApplication::setFont(appFont());
}

// The running Pirune: its window, the lock's news, and a last save when the session ends.
int run(QApplication &app, SingleInstance &instance, const QString &dataFile, bool boxesSeen) {
    MainWindow mainWindow(dataFile);
    if (boxesSeen)
        installWidgetMessageBoxes(&mainWindow);
    QObject::connect(&instance, &SingleInstance::showRequested, &mainWindow,
                     [&mainWindow] { mainWindow.showFromTray(); });
    // Another Pirune that took the Data file's lock while its lock file was replaced: this one
    // saves no more, and says so.
    mainWindow.setOwnerCheck([&instance] { return instance.stillHoldsLock(); });
    QObject::connect(&instance, &SingleInstance::lockLost, &mainWindow, [&dataFile] {
        MessageSeam::okBox(
            RunError::takenByAnother(QDir::toNativeSeparators(dataFile)).description());
    });
    // Left by saves killed half-way; no other Pirune can be saving now.
    DataFile::removeLeftTemporaries(dataFile);
    // Logout, shutdown or a plain kill: what is not in the Data file yet is saved first.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &mainWindow,
                     [&mainWindow] { mainWindow.saveBeforeSessionEnds(); });
    QObject::connect(new TerminationSignal(&app), &TerminationSignal::received, &mainWindow,
                     [&mainWindow] {
                         mainWindow.saveBeforeSessionEnds();
                         QCoreApplication::exit(0);
                     });
    mainWindow.start();
    return QApplication::exec();
}
} // namespace

int main(int argc, char *argv[]) {
#ifdef Q_OS_UNIX
    // At a file-size limit (ulimit -f) a save would end the process; ignored, the write fails and
    // the save reports it like any other write error, the last good file kept.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    QApplication app(argc, argv);
    QTranslator qtTranslator;
    setUpApplication(qtTranslator);
    // Where no one can see a window, a box would wait for ever: it goes to stderr instead.
    const bool boxesSeen = QGuiApplication::platformName() != QLatin1String("offscreen");
    if (boxesSeen)
        installWidgetMessageBoxes();

    const QString dataFile = DataFile::pathIn(QApplication::applicationDirPath());
    SingleInstance instance(dataFile);
    switch (instance.claim()) {
    case SingleInstance::Role::Primary:
        break;
    case SingleInstance::Role::Notified:
        return 0;
    case SingleInstance::Role::Failed:
        MessageSeam::okBox(QStringLiteral("データファイルは別の Pirune が使用中です。\n") +
                           QDir::toNativeSeparators(dataFile));
        return 1;
    }
    return run(app, instance, dataFile, boxesSeen);
}
