// quorbsl-gui: the updater's window. With --simulate TYPE it updates a
// built-in simulated instrument on a pseudo-terminal, in real time.

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QMessageBox>
#include <QStandardPaths>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "app/ProductConfig.h"
#include "gui/Session.h"
#include "gui/SimulatedDevice.h"
#include "qt/QtSettingsStore.h"

namespace {

// A simulated run keeps its log and settings file apart from the user's
// own, so nothing of a demonstration device is ever restored into a real one.
void UseSimulatorDataHome() {
    const QString home = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                         QStringLiteral("/Karvell/QuorBSL-simulator");
    QDir().mkpath(home);
    qputenv("XDG_DATA_HOME", QFile::encodeName(home));
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(quor::frontend::kApplicationName));
    QApplication::setOrganizationName(QString::fromUtf8(quor::frontend::kOrganisationName));
    QApplication::setApplicationVersion(QStringLiteral("1.16.0.5"));
    QApplication::setDesktopFileName(QStringLiteral("quorbsl-gui"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("QuorBSL firmware updater"));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption simulate(
        QStringLiteral("simulate"),
        QStringLiteral("Update a simulated instrument of TYPE (e.g. TRU) on a pseudo-terminal."),
        QStringLiteral("TYPE"));
    parser.addOption(simulate);
    parser.process(application);

    std::unique_ptr<quor::gui::SimulatedDevice> device;
    quor::app::AppEnvironment environment;
    std::unique_ptr<quor::app::SettingsStore> settings;
    if (parser.isSet(simulate)) {
        std::string error;
        device = quor::gui::SimulatedDevice::Start(parser.value(simulate).toStdString(), &error);
        if (!device) {
            std::fprintf(stderr, "quorbsl-gui: %s\n", error.c_str());
            return EXIT_FAILURE;
        }
        UseSimulatorDataHome();
        environment.listPorts = device->Lister();
        // The user's saved port is left alone: a simulated port is gone
        // when the run ends.
        settings = std::make_unique<quor::app::MemorySettingsStore>();
    } else {
        settings = std::make_unique<quor::frontend::QtSettingsStore>();
    }

    int result = EXIT_SUCCESS;
    {
        quor::gui::Session session(*settings, quor::app::BuildProductConfig(),
                                   std::move(environment));
        session.Window().show();
        result = QApplication::exec();
    }
    return result;
}
