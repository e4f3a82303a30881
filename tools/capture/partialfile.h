#ifndef PARTIALFILE_H
#define PARTIALFILE_H

#include <QString>

// A file written under a hidden name beside its final one and renamed into place only once
// it is complete, so a failed or stopped capture never leaves a half-written file under the
// final name, nor spoils an older file there.
class PartialFile
{
public:
    explicit PartialFile(const QString &finalPath);
    ~PartialFile();
    PartialFile(const PartialFile &) = delete;
    PartialFile &operator=(const PartialFile &) = delete;

    // Makes the empty partial file; false when the final file's folder takes no new file.
    bool create();
    QString path() const { return partialPath; }
    // Moves the partial file to the final name, replacing whatever was there.
    bool commit();
    QString errorString() const { return error; }

private:
    QString finalPath;
    QString partialPath;
    QString error;
    bool committed = false;
};

#endif
