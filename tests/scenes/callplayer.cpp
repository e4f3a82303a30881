#include "callplayer.h"

#include <QHash>

#include <GL/gl.h>

#include <functional>

namespace {

const QHash<QString, GLenum> &symbols()
{
    static const QHash<QString, GLenum> table = {
        {QStringLiteral("GL_QUADS"), GL_QUADS},
        {QStringLiteral("GL_SCISSOR_TEST"), GL_SCISSOR_TEST},
        {QStringLiteral("GL_ALPHA_TEST"), GL_ALPHA_TEST},
        {QStringLiteral("GL_CULL_FACE"), GL_CULL_FACE},
        {QStringLiteral("GL_DEPTH_TEST"), GL_DEPTH_TEST},
        {QStringLiteral("GL_BLEND"), GL_BLEND},
        {QStringLiteral("GL_TEXTURE_2D"), GL_TEXTURE_2D},
        {QStringLiteral("GL_GREATER"), GL_GREATER},
        {QStringLiteral("GL_SRC_ALPHA"), GL_SRC_ALPHA},
        {QStringLiteral("GL_ONE_MINUS_SRC_ALPHA"), GL_ONE_MINUS_SRC_ALPHA},
        {QStringLiteral("GL_COLOR_BUFFER_BIT"), GL_COLOR_BUFFER_BIT},
        {QStringLiteral("GL_DEPTH_BUFFER_BIT"), GL_DEPTH_BUFFER_BIT},
    };
    return table;
}

// A symbol or an "A | B" mask; false for one not in the table.
bool symbolValue(const QString &text, GLenum *value)
{
    *value = 0;
    for (const QString &part : text.split(QLatin1String(" | "))) {
        const auto found = symbols().constFind(part);
        if (found == symbols().constEnd())
            return false;
        *value |= *found;
    }
    return true;
}

float f(const GlCall &call, int index)
{
    return float(call.numbers.at(index));
}

int i(const GlCall &call, int index)
{
    return int(call.numbers.at(index));
}

using Player = std::function<void(const GlCall &, const GLenum *)>;

// How to play one function: its argument count, how many leading arguments are symbols, and
// the call itself with those symbols resolved.
struct Entry
{
    int arguments;
    int symbolArguments;
    Player play;
};

const QHash<QString, Entry> &entries()
{
    static const QHash<QString, Entry> table = {
        {QStringLiteral("glClearColor"),
         {4, 0,
          [](const GlCall &c, const GLenum *) {
              glClearColor(f(c, 0), f(c, 1), f(c, 2), f(c, 3));
          }}},
        {QStringLiteral("glClear"), {1, 1, [](const GlCall &, const GLenum *s) { glClear(s[0]); }}},
        {QStringLiteral("glScissor"),
         {4, 0,
          [](const GlCall &c, const GLenum *) { glScissor(i(c, 0), i(c, 1), i(c, 2), i(c, 3)); }}},
        {QStringLiteral("glEnable"),
         {1, 1, [](const GlCall &, const GLenum *s) { glEnable(s[0]); }}},
        {QStringLiteral("glDisable"),
         {1, 1, [](const GlCall &, const GLenum *s) { glDisable(s[0]); }}},
        {QStringLiteral("glAlphaFunc"),
         {2, 1, [](const GlCall &c, const GLenum *s) { glAlphaFunc(s[0], f(c, 1)); }}},
        {QStringLiteral("glBlendFunc"),
         {2, 2, [](const GlCall &, const GLenum *s) { glBlendFunc(s[0], s[1]); }}},
        {QStringLiteral("glLoadIdentity"),
         {0, 0, [](const GlCall &, const GLenum *) { glLoadIdentity(); }}},
        {QStringLiteral("glPushMatrix"),
         {0, 0, [](const GlCall &, const GLenum *) { glPushMatrix(); }}},
        {QStringLiteral("glPopMatrix"),
         {0, 0, [](const GlCall &, const GLenum *) { glPopMatrix(); }}},
        {QStringLiteral("glTranslatef"),
         {3, 0, [](const GlCall &c, const GLenum *) { glTranslatef(f(c, 0), f(c, 1), f(c, 2)); }}},
        {QStringLiteral("glScalef"),
         {3, 0, [](const GlCall &c, const GLenum *) { glScalef(f(c, 0), f(c, 1), f(c, 2)); }}},
        {QStringLiteral("glRotatef"),
         {4, 0,
          [](const GlCall &c, const GLenum *) { glRotatef(f(c, 0), f(c, 1), f(c, 2), f(c, 3)); }}},
        {QStringLiteral("glBegin"), {1, 1, [](const GlCall &, const GLenum *s) { glBegin(s[0]); }}},
        {QStringLiteral("glEnd"), {0, 0, [](const GlCall &, const GLenum *) { glEnd(); }}},
        {QStringLiteral("glColor4f"),
         {4, 0,
          [](const GlCall &c, const GLenum *) { glColor4f(f(c, 0), f(c, 1), f(c, 2), f(c, 3)); }}},
        {QStringLiteral("glTexCoord2f"),
         {2, 0, [](const GlCall &c, const GLenum *) { glTexCoord2f(f(c, 0), f(c, 1)); }}},
        {QStringLiteral("glVertex3f"),
         {3, 0, [](const GlCall &c, const GLenum *) { glVertex3f(f(c, 0), f(c, 1), f(c, 2)); }}},
    };
    return table;
}

} // namespace

namespace CallPlayer {

bool play(const QVector<GlCall> &calls, QString *error)
{
    for (const GlCall &call : calls) {
        const auto entry = entries().constFind(call.name);
        if (entry == entries().constEnd() || call.args.size() != entry->arguments ||
            call.numbers.size() != entry->arguments) {
            *error = QStringLiteral("cannot play ") + call.toString();
            return false;
        }
        GLenum values[2] = {0, 0};
        for (int k = 0; k < entry->symbolArguments; ++k) {
            if (!symbolValue(call.args.at(k), &values[k])) {
                *error = QStringLiteral("unknown symbol in ") + call.toString();
                return false;
            }
        }
        entry->play(call, values);
    }
    return true;
}

} // namespace CallPlayer
