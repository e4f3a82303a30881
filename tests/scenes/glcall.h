#ifndef GLCALL_H
#define GLCALL_H

#include <QString>
#include <QStringList>
#include <QVector>

// One OpenGL call as "apitrace dump" prints it: the function's name and the text of each
// argument's value (argument names left out). numbers holds each argument's value as a
// number, NaN for symbols, so that a list of calls can also be played or modelled.
struct GlCall
{
    QString name;
    QStringList args;
    QVector<double> numbers;

    bool operator==(const GlCall &other) const { return name == other.name && args == other.args; }
    bool operator!=(const GlCall &other) const { return !(*this == other); }
    QString toString() const
    {
        return name + QLatin1Char('(') + args.join(QLatin1String(", ")) + QLatin1Char(')');
    }
};

#endif
