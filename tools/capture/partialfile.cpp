#include "partialfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {
// Leftovers of captures killed outright keep their names; the next free one is taken.
constexpr int kMaxNameTries = 100;
} // namespace

PartialFile::PartialFile(const QString &finalPath) : finalPath(finalPath) {}

PartialFile::~PartialFile()
{
    if (!committed && !partialPath.isEmpty())
        QFile::remove(partialPath);
}

bool PartialFile::create()
{
    const QFileInfo target(finalPath);
    const QString stem = target.dir().filePath(
        QStringLiteral(".%1.%2").arg(target.fileName()).arg(QCoreApplication::applicationPid()));
    for (int attempt = 0; attempt < kMaxNameTries; ++attempt) {
        const QString name = QStringLiteral("%1-%2.part").arg(stem).arg(attempt);
        if (QFileInfo::exists(name))
            continue;
        // A new file, made with the usual permissions: the final file keeps them.
        QFile file(name);
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            error = file.errorString();
            return false;
        }
        partialPath = name;
        return true;
    }
    error = QStringLiteral("too many leftover partial files");
    return false;
}

bool PartialFile::commit()
{
    // rename() replaces an existing file in one step, where QFile::rename would refuse.
    if (std::rename(QFile::encodeName(partialPath).constData(),
                    QFile::encodeName(finalPath).constData()) != 0) {
        error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    committed = true;
    return true;
}
