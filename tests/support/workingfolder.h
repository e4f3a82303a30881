#ifndef WORKINGFOLDER_H
#define WORKINGFOLDER_H

#include <QString>
#include <QTemporaryDir>

// A fresh folder that is the working directory for as long as this lives: the player and the
// pane read their files from there.
class WorkingFolder
{
public:
    WorkingFolder();
    ~WorkingFolder();
    WorkingFolder(const WorkingFolder &) = delete;
    WorkingFolder &operator=(const WorkingFolder &) = delete;

    QString path() const { return folder.path(); }
    QString path(const QString &name) const { return folder.filePath(name); }

private:
    QTemporaryDir folder;
    QString previous;
};

#endif
