// Installing: the programs, man pages, default show and menu entry land under the prefix and run
// from there, and the lintian-clean Debian package carries the same files and names, in its
// Depends, every library its programs link and what the player loads at run time.
#include "toolrun.h"
#include <QDir>
#include <QRegularExpression>
#include <QXmlStreamReader>
#include <QtTest>

namespace {

constexpr int kToolTimeoutMs = 300000;
const QStringList kPrograms = {QStringLiteral("tovek2"), QStringLiteral("tovek2-still"),
                               QStringLiteral("tovek2-capture"), QStringLiteral("tovek2-bench"),
                               QStringLiteral("tovek2-disc")};

ToolRun run(const QString &program, const QStringList &arguments,
            const QString &folder = QDir::tempPath())
{
    return ToolRun::of(program, arguments, folder, kToolTimeoutMs);
}

// A login without a desktop, as on a text console, with the one setting NAME=VALUE.
QProcessEnvironment withoutDisplay(const QString &setting = QStringLiteral("XDG_SESSION_TYPE=tty"))
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "XDG_SESSION_TYPE", "QT_QPA_PLATFORM"})
        environment.remove(QLatin1String(name));
    environment.insert(setting.section('=', 0, 0), setting.section('=', 1));
    return environment;
}

// The options that a text names: -h, --help, --size, ...
QSet<QString> optionsNamed(const QString &text)
{
    static const QRegularExpression option(QStringLiteral("(?<![\\w-])--?[a-z][\\w-]*"));
    QSet<QString> names;
    for (auto found = option.globalMatch(text); found.hasNext();)
        names << found.next().captured();
    return names;
}

// The keys of a desktop entry's main group.
QMap<QString, QString> desktopEntry(const QString &path)
{
    QFile file(path);
    QMap<QString, QString> keys;
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return keys;
    bool inMainGroup = false;
    for (const QString &line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1Char('[')))
            inMainGroup = line == QLatin1String("[Desktop Entry]");
        else if (inMainGroup && line.contains(QLatin1Char('=')))
            keys.insert(line.section(QLatin1Char('='), 0, 0), line.section(QLatin1Char('='), 1));
    }
    return keys;
}

void verifyEntryStarts(const QString &entryPath, const QString &prefix)
{
    const QMap<QString, QString> entry = desktopEntry(entryPath);
    QCOMPARE(entry.value(QStringLiteral("Type")), QStringLiteral("Application"));
    QCOMPARE(entry.value(QStringLiteral("Name")), QStringLiteral("Tovek2"));
    QCOMPARE(entry.value(QStringLiteral("Exec")), prefix + QStringLiteral("/bin/tovek2"));
    // The player reads its music and picture from the folder it starts in.
    QCOMPARE(entry.value(QStringLiteral("Path")), prefix + QStringLiteral("/share/tovek2"));
    QCOMPARE(entry.value(QStringLiteral("Icon")), QStringLiteral("tovek2"));
    const QStringList categories =
        entry.value(QStringLiteral("Categories")).split(QLatin1Char(';'), Qt::SkipEmptyParts);
    QVERIFY(categories.contains(QStringLiteral("AudioVideo")));
    QVERIFY(categories.contains(QStringLiteral("Player")));
}

// Package names in a Depends field, alternatives included, without versions.
QStringList packagesNamed(const QString &depends)
{
    QStringList names;
    for (const QString &item : depends.split(QRegularExpression(QStringLiteral("[,|]")))) {
        const QString name = item.section(QLatin1Char('('), 0, 0).trimmed();
        if (!name.isEmpty())
            names << name;
    }
    return names;
}

// The libraries a program names itself (not those they bring along), as paths on this system.
QStringList linkedLibraries(const QString &program)
{
    const QByteArray dynamic =
        run(QStringLiteral("readelf"), {QStringLiteral("-d"), program}).output;
    const QByteArray resolved = run(QStringLiteral("ldd"), {program}).output;
    static const QRegularExpression needed(QStringLiteral("\\(NEEDED\\).*\\[(.+)\\]"));
    QStringList paths;
    for (const QString &line : QString::fromLocal8Bit(dynamic).split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch match = needed.match(line);
        if (!match.hasMatch())
            continue;
        const QRegularExpression where(QRegularExpression::escape(match.captured(1)) +
                                       QStringLiteral(" => (\\S+)"));
        paths << where.match(QString::fromLocal8Bit(resolved)).captured(1);
    }
    return paths;
}

// The installed package that owns a file; with merged /usr a library may be found under /lib
// and listed under /usr/lib, or the other way round.
QString owningPackage(const QString &path)
{
    const QString unmerged = QString(path).remove(QRegularExpression(QStringLiteral("^/usr")));
    for (const QString &candidate : {unmerged, QStringLiteral("/usr") + unmerged}) {
        const ToolRun owner = run(QStringLiteral("dpkg"), {QStringLiteral("-S"), candidate});
        if (owner.exitCode == 0)
            return QString::fromLocal8Bit(owner.output).section(QLatin1Char(':'), 0, 0);
    }
    return QString();
}

} // namespace

class InstallTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void installsProgramsShowAndMenuEntry();
    void installedProgramsRun();
    void playerWithoutDisplaySaysWhatIsMissing_data();
    void playerWithoutDisplaySaysWhatIsMissing();
    void debianPackageCarriesTheShowAndItsNeeds();

private:
    QTemporaryDir prefix;
};

void InstallTest::initTestCase()
{
    const ToolRun install = run(QStringLiteral(TOVEK2_CMAKE),
                                {QStringLiteral("--install"), QStringLiteral(TOVEK2_BUILD_DIR),
                                 QStringLiteral("--prefix"), prefix.path()});
    QVERIFY2(install.exitCode == 0, install.errors.constData());
}

void InstallTest::installsProgramsShowAndMenuEntry()
{
    for (const QString &program : kPrograms) {
        const QFileInfo installed(prefix.filePath(QStringLiteral("bin/") + program));
        QVERIFY2(installed.isFile() && installed.isExecutable(), qPrintable(program));
    }

    const QString entry = prefix.filePath("share/applications/" TOVEK2_APP_ID ".desktop");
    verifyEntryStarts(entry, prefix.path());
    const ToolRun validation = run(QStringLiteral("desktop-file-validate"), {entry});
    QVERIFY2(validation.exitCode == 0 && validation.output.isEmpty(),
             validation.output.constData());
    const ToolRun metadata =
        run("appstreamcli", {"validate", "--no-net",
                             prefix.filePath("share/metainfo/" TOVEK2_APP_ID ".metainfo.xml")});
    QVERIFY2(metadata.exitCode == 0, metadata.output.constData());

    QFile icon(prefix.filePath(QStringLiteral("share/icons/hicolor/scalable/apps/tovek2.svg")));
    QVERIFY(icon.open(QIODevice::ReadOnly));
    QXmlStreamReader svg(&icon);
    QVERIFY(svg.readNextStartElement());
    QCOMPARE(svg.name().toString(), QStringLiteral("svg"));
    while (!svg.atEnd())
        svg.readNext();
    QVERIFY2(!svg.hasError(), qPrintable(svg.errorString()));

    const QImage picture(prefix.filePath(QStringLiteral("share/tovek2/round.png")));
    QVERIFY(!picture.isNull());
    QVERIFY(picture.hasAlphaChannel());
    const ToolRun music =
        run(QStringLiteral("ffprobe"),
            {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
             QStringLiteral("format=duration:stream=codec_name"), QStringLiteral("-of"),
             QStringLiteral("default=noprint_wrappers=1"),
             prefix.filePath(QStringLiteral("share/tovek2/desert.mp3"))});
    QVERIFY(music.output.contains("codec_name=mp3"));
    const double seconds =
        QString::fromLatin1(music.output).section(QStringLiteral("duration="), 1).toDouble();
    QVERIFY2(seconds >= 75.5, music.output.constData());
}

void InstallTest::installedProgramsRun()
{
    QTemporaryDir folder;
    QVERIFY(QFile::copy(prefix.filePath(QStringLiteral("share/tovek2/round.png")),
                        folder.filePath(QStringLiteral("round.png"))));
    const QStringList frame = {QStringLiteral("--size"), QStringLiteral("96x64"),
                               QStringLiteral("--clock"), QStringLiteral("30000")};
    const ToolRun installed =
        run(prefix.filePath(QStringLiteral("bin/tovek2-still")),
            QStringList(frame) << QStringLiteral("--output") << QStringLiteral("installed.png"),
            folder.path());
    QVERIFY2(installed.exitCode == 0, installed.errors.constData());
    const ToolRun built =
        run(QStringLiteral(TOVEK2_STILL),
            QStringList(frame) << QStringLiteral("--output") << QStringLiteral("built.png"),
            folder.path());
    QCOMPARE(built.exitCode, 0);
    const QImage installedFrame(folder.filePath(QStringLiteral("installed.png")));
    QCOMPARE(installedFrame.size(), QSize(96, 64));
    QCOMPARE(installedFrame, QImage(folder.filePath(QStringLiteral("built.png"))));

    // Each answers --help and --version without a display; its man page names each option.
    for (const QString &program : kPrograms) {
        const QString installed = prefix.filePath(QStringLiteral("bin/") + program);
        const ToolRun help = ToolRun::of(installed, {QStringLiteral("--help")}, folder.path(),
                                         kToolTimeoutMs, withoutDisplay());
        QVERIFY2(help.exitCode == 0 && help.output.contains("Usage:"), qPrintable(program));
        const ToolRun version = ToolRun::of(installed, {QStringLiteral("--version")}, folder.path(),
                                            kToolTimeoutMs, withoutDisplay());
        QCOMPARE(version.outputText(), program + QStringLiteral(" " TOVEK2_VERSION "\n"));
        const ToolRun manual =
            run("man", {"--nh", "-l", prefix.filePath("share/man/man1/" + program + ".1.gz")});
        const QSet<QString> listed = optionsNamed(help.outputText());
        const QStringList unnamed = (listed - optionsNamed(manual.outputText())).values();
        QVERIFY2(manual.exitCode == 0 && manual.errors.isEmpty() && unnamed.isEmpty() &&
                     listed.contains(QStringLiteral("--version")),
                 qPrintable(program + manual.errorText() + unnamed.join(' ')));
    }
}

void InstallTest::playerWithoutDisplaySaysWhatIsMissing_data()
{
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QString>("missing");
    QTest::newRow("text console") << QStringLiteral("XDG_SESSION_TYPE=tty") << "DISPLAY";
    QTest::newRow("X gone") << QStringLiteral("DISPLAY=:9999") << ":9999";
    QTest::newRow("Wayland gone") << QStringLiteral("XDG_SESSION_TYPE=wayland") << "Wayland";
}

void InstallTest::playerWithoutDisplaySaysWhatIsMissing()
{
    QFETCH(QString, setting);
    QFETCH(QString, missing);
    const ToolRun player = ToolRun::of(prefix.filePath(QStringLiteral("bin/tovek2")), {},
                                       QDir::tempPath(), kToolTimeoutMs, withoutDisplay(setting));
    QVERIFY2(player.exitStatus == QProcess::NormalExit && player.exitCode == 1 &&
                 player.errors.startsWith("tovek2: ") && player.errors.count('\n') == 1 &&
                 player.errorText().contains(missing),
             player.errors.constData());
}

void InstallTest::debianPackageCarriesTheShowAndItsNeeds()
{
    QTemporaryDir work;
    const ToolRun cpack =
        run(QStringLiteral(TOVEK2_CPACK),
            {QStringLiteral("--config"), QStringLiteral(TOVEK2_BUILD_DIR "/CPackConfig.cmake"),
             QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("-B"), work.path()},
            work.path());
    QVERIFY2(cpack.exitCode == 0, cpack.output.constData());
    const QStringList packages =
        QDir(work.path()).entryList({QStringLiteral("tovek2_*.deb")}, QDir::Files);
    QCOMPARE(packages.size(), 1);
    const QString package = work.filePath(packages.first());

    const auto field = [&](const QString &name) {
        return QString::fromLocal8Bit(
                   run(QStringLiteral("dpkg-deb"), {QStringLiteral("--field"), package, name})
                       .output)
            .trimmed();
    };
    QCOMPARE(field(QStringLiteral("Package")), QStringLiteral("tovek2"));
    const QStringList depends = packagesNamed(field(QStringLiteral("Depends")));
    for (const QString &runtime : QStringLiteral(TOVEK2_RUNTIME_PACKAGES).split(QLatin1Char(',')))
        QVERIFY2(depends.contains(runtime), qPrintable(runtime));
    // Phonon's metapackage: with Qt 5 it would have apt choose VLC's back end over GStreamer's.
    QVERIFY(!depends.contains(QStringLiteral(TOVEK2_PHONON_METAPACKAGE)));
    const QStringList recommends = packagesNamed(field(QStringLiteral("Recommends")));
    QVERIFY(recommends.contains(QStringLiteral("ffmpeg")));
    QVERIFY(recommends.contains(QStringLiteral("xvfb")));

    const QString root = work.filePath(QStringLiteral("root"));
    QCOMPARE(run(QStringLiteral("dpkg-deb"), {QStringLiteral("-x"), package, root}).exitCode, 0);
    verifyEntryStarts(root + QStringLiteral("/usr/share/applications/" TOVEK2_APP_ID ".desktop"),
                      QStringLiteral("/usr"));
    // Debian's own checks find neither errors nor warnings (notes and pedantic hints may stay).
    const ToolRun lint = run("lintian", {"--fail-on", "error,warning", package});
    QVERIFY2(lint.exitCode == 0, lint.output.constData());
    QVERIFY(QFileInfo::exists(root + QStringLiteral("/usr/share/tovek2/desert.mp3")));
    QVERIFY(QFileInfo::exists(root + QStringLiteral("/usr/share/tovek2/round.png")));
    QVERIFY(QFileInfo::exists(root +
                              QStringLiteral("/usr/share/icons/hicolor/scalable/apps/tovek2.svg")));
    for (const QString &program : kPrograms) {
        const QString packaged = root + QStringLiteral("/usr/bin/") + program;
        QVERIFY2(QFileInfo(packaged).isExecutable(), qPrintable(program));
        const QStringList libraries = linkedLibraries(packaged);
        QVERIFY(!libraries.isEmpty());
        for (const QString &library : libraries) {
            const QString owner = owningPackage(library);
            QVERIFY2(depends.contains(owner),
                     qPrintable(program + QStringLiteral(": ") + library + QStringLiteral(" of ") +
                                owner + QStringLiteral(" is not in Depends")));
        }
    }
}

QTEST_MAIN(InstallTest)
#include "installtest.moc"
