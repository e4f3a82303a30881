#include "companiontool.h"
#include "tooloptions.h"

#include <QApplication>

namespace {
// As a shell reports a program it cannot find: the tool cannot run here as it is.
constexpr int kNoDisplayStatus = 2;
} // namespace

CompanionTool::CompanionTool(const QString &name, const QString &description)
    : helpOption({QStringLiteral("h"), QStringLiteral("help")},
                 QStringLiteral("Displays this help.")),
      versionOption({QStringLiteral("v"), QStringLiteral("version")},
                    QStringLiteral("Displays version information.")),
      sizeOption(QStringLiteral("size"), QStringLiteral("Frame size (default 1920x1080)."),
                 QStringLiteral("WIDTHxHEIGHT"), QStringLiteral("1920x1080"))
{
    QCoreApplication::setApplicationName(name);
    QCoreApplication::setApplicationVersion(QStringLiteral(TOVEK2_VERSION));
    commandLine.setApplicationDescription(description);
    // Not Qt's own help option: its --help-all lists Qt's options from an application object,
    // which a tool makes only once it has a display, and went unanswered.
    commandLine.addOptions({helpOption, versionOption, sizeOption});
}

CompanionTool::~CompanionTool() = default;

bool CompanionTool::parse(int &argc, char **argv)
{
    // Read before any display is looked for, so that --help, --version and bad options need
    // none.
    QStringList arguments;
    for (int index = 0; index < argc; ++index)
        arguments << QString::fromLocal8Bit(argv[index]);
    if (!commandLine.parse(arguments)) {
        status = ToolOptions::fail(commandLine.errorText());
        return false;
    }
    if (commandLine.isSet(helpOption)) {
        // The help text names the program from the application object; showHelp exits.
        const QCoreApplication helpOnly(argc, argv);
        commandLine.showHelp();
    }
    if (commandLine.isSet(versionOption))
        commandLine.showVersion();
    if (!ToolOptions::parseSize(commandLine.value(sizeOption), &frameSize)) {
        status = ToolOptions::fail(
            QStringLiteral("bad size '%1': expected WIDTHxHEIGHT, each side 1 to 16384")
                .arg(commandLine.value(sizeOption)));
        return false;
    }
    return true;
}

bool CompanionTool::start(int &argc, char **argv)
{
    if (!screen.ensureDisplay()) {
        ToolOptions::fail(screen.errorString());
        status = kNoDisplayStatus;
        return false;
    }
    // A size asked for is pixels: a desktop's scale factor must not make the pane's pixels,
    // and so its viewport, larger than the frame.
    qunsetenv("QT_SCALE_FACTOR");
    qunsetenv("QT_SCREEN_SCALE_FACTORS");
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    application = std::make_unique<QApplication>(argc, argv);
    return true;
}

int CompanionTool::failToRender() const
{
    return ToolOptions::fail(QStringLiteral("cannot render at %1x%2 on this display")
                                 .arg(frameSize.width())
                                 .arg(frameSize.height()));
}
