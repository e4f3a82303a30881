#include "workingfolder.h"

#include <QDir>

WorkingFolder::WorkingFolder() : previous(QDir::currentPath())
{
    QDir::setCurrent(folder.path());
}

WorkingFolder::~WorkingFolder()
{
    QDir::setCurrent(previous);
}
