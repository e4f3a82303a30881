#include "expectedframe.h"

#include <QtMath>

#include <climits>
#include <cmath>
#include <initializer_list>

namespace {

struct Arg
{
    QString text;
    double number;
};

// apitrace prints a float with seven significant digits, as a C++ stream does.
Arg real(float value)
{
    return {QString::asprintf("%.7g", double(value)), double(value)};
}

Arg whole(int value)
{
    return {QString::number(value), double(value)};
}

Arg symbol(const char *name)
{
    return {QLatin1String(name), qQNaN()};
}

class CallList
{
public:
    void add(const char *name, std::initializer_list<Arg> args = {})
    {
        GlCall call;
        call.name = QLatin1String(name);
        for (const Arg &arg : args) {
            call.args.append(arg.text);
            call.numbers.append(arg.number);
        }
        list.append(call);
    }

    void colour(float r, float g, float b, float a)
    {
        add("glColor4f", {real(r), real(g), real(b), real(a)});
    }
    void vertex(float s, float t, float x, float y, float z)
    {
        add("glTexCoord2f", {real(s), real(t)});
        add("glVertex3f", {real(x), real(y), real(z)});
    }
    void rotate(float degrees, float x, float y, float z)
    {
        add("glRotatef", {real(degrees), real(x), real(y), real(z)});
    }
    void quads() { add("glBegin", {symbol("GL_QUADS")}); }
    void end() { add("glEnd"); }
    void setSwitch(const char *capability, bool on)
    {
        add(on ? "glEnable" : "glDisable", {symbol(capability)});
    }
    void clearColourAndDepth()
    {
        add("glClear", {symbol("GL_DEPTH_BUFFER_BIT | GL_COLOR_BUFFER_BIT")});
    }

    QVector<GlCall> list;
};

// ---- The first three scenes ----

struct Square
{
    const char *turns; // 'z': 90 degrees about z, 'y': 90 degrees about y, in this order
    float front[4];
    float back[4];
};

const Square kSquares[] = {
    {"", {1, 0.6f, 0, 1}, {0, 0.8f, 1, 1}},
    {"z", {0.8f, 0.4f, 0.4f, 1}, {1, 0.8f, 0, 1}},
    {"z", {0.2f, 0.6f, 0.4f, 1}, {1, 0.4f, 0.2f, 1}},
    {"z", {0.2f, 0.4f, 0.8f, 1}, {0.2f, 0.8f, 0.2f, 1}},
    {"zy", {0, 0.8f, 1, 1}, {1, 0.8f, 0, 1}},
    {"z", {1, 0.6f, 0, 1}, {0.8f, 0.4f, 0.4f, 1}},
    {"z", {0.2f, 0.4f, 0.8f, 1}, {0.2f, 0.6f, 0.4f, 1}},
    {"z", {0.2f, 0.8f, 0.2f, 1}, {1, 0.4f, 0.2f, 1}},
    {"y", {1, 0.4f, 0.2f, 1}, {1, 0.8f, 0, 1}},
    {"z", {0.2f, 0.8f, 0.2f, 1}, {0, 0.8f, 1, 1}},
    {"z", {0.2f, 0.4f, 0.8f, 1}, {1, 0.6f, 0, 1}},
    {"z", {0.2f, 0.6f, 0.4f, 1}, {0.8f, 0.4f, 0.4f, 1}},
};

void drawCrossedPlanes(CallList &gl, int)
{
    for (const Square &square : kSquares) {
        for (const char *turn = square.turns; *turn; ++turn) {
            if (*turn == 'z')
                gl.rotate(90, 0, 0, 1);
            else
                gl.rotate(90, 0, 1, 0);
        }
        const float *f = square.front;
        const float *b = square.back;
        gl.quads();
        gl.colour(f[0], f[1], f[2], f[3]);
        gl.vertex(0.5f, 0.5f, 0, 0, 0);
        gl.vertex(1, 0.5f, 1, 0, 0);
        gl.vertex(1, 1, 1, 1, 0);
        gl.vertex(0.5f, 1, 0, 1, 0);
        gl.colour(b[0], b[1], b[2], b[3]);
        gl.vertex(0.5f, 0.5f, 0, 0, 0);
        gl.vertex(0.5f, 1, 0, 1, 0);
        gl.vertex(1, 1, 1, 1, 0);
        gl.vertex(1, 0.5f, 1, 0, 0);
        gl.end();
    }
}

void swarmChain(CallList &gl, int i)
{
    gl.rotate(float(31 * i), 1, 0, 0);
    gl.rotate(72, 0, 1, 0);
    gl.rotate(float(i * i + 83), 0, 0, 1);
    gl.rotate(float(i + 21), 0, 1, 0);
}

void drawSwarm(CallList &gl, int)
{
    gl.colour(1, 1, 1, 0.3f);
    for (int i = 0; i < 700; ++i) {
        swarmChain(gl, i);
        gl.quads();
        gl.vertex(0, 0, 2, -0.5f, 0);
        gl.vertex(0, 1, 2, 0.5f, 0);
        gl.vertex(1, 1, 3, 0.5f, 0);
        gl.vertex(1, 0, 3, -0.5f, 0);
        gl.end();
    }
}

void drawTumblingSwarm(CallList &gl, int t)
{
    gl.colour(1, 1, 1, 0.3f);
    const float spin = float(double(t - 20000) * 0.08);
    for (int i = 0; i < 700; ++i) {
        swarmChain(gl, i);
        gl.add("glPushMatrix");
        gl.add("glTranslatef", {real(2.5f), real(0), real(0)});
        gl.rotate(spin, 1, 1, 1);
        gl.quads();
        gl.vertex(0, 0, -0.5f, -0.5f, 0);
        gl.vertex(0, 1, -0.5f, 0.5f, 0);
        gl.vertex(1, 1, 0.5f, 0.5f, 0);
        gl.vertex(1, 0, 0.5f, -0.5f, 0);
        gl.end();
        gl.add("glPopMatrix");
    }
}

// ---- Wave, grid and ring ----

void drawWave(CallList &gl, int t)
{
    gl.colour(1, 1, 1, 0.3f);
    gl.quads();
    const double c1 = 0.01 * double(t);
    const double c2 = 0.008 * double(t);
    for (int i = 0; i <= 24; ++i) {
        const double p1 = i + c1;
        const double p2 = 0.63 * i + c2;
        const float x0 = float(i - 13);
        const float x1 = float(i - 12);
        for (int j = 0; j <= 24; ++j) {
            const float z = float(4.3 * std::sin(0.83 * j + p1) + 4.4 * std::sin(1.12 * j + p2));
            const float y0 = float(j - 13);
            const float y1 = float(j - 12);
            gl.vertex(0, 0, x0, y0, z);
            gl.vertex(0, 1, x0, y1, z);
            gl.vertex(1, 1, x1, y1, z);
            gl.vertex(1, 0, x1, y0, z);
        }
    }
    gl.end();
}

void drawGrid(CallList &gl, int)
{
    gl.colour(0, 0, 0, 1);
    gl.quads();
    for (int i = -13; i <= 11; ++i) {
        for (int j = -13; j <= 11; ++j) {
            gl.vertex(0, 0, float(i), float(j), 0);
            gl.vertex(0, 1, float(i), float(j + 1), 0);
            gl.vertex(1, 1, float(i + 1), float(j + 1), 0);
            gl.vertex(1, 0, float(i + 1), float(j), 0);
        }
    }
    gl.end();
}

void drawRing(CallList &gl, int)
{
    for (int k = 0; k < 180; ++k) {
        gl.rotate(2, 0, 1, 0);
        gl.quads();
        gl.colour(0, 0, 0, 0.5f);
        gl.vertex(0, 0, 4, -1, 0);
        gl.vertex(0, 1, 4, 1, 0);
        gl.vertex(1, 1, 6, 1, 0);
        gl.vertex(1, 0, 6, -1, 0);
        gl.colour(1, 1, 1, 0.5f);
        gl.vertex(0, 0, 6, -1, 0);
        gl.vertex(0, 1, 6, 1, 0);
        gl.vertex(1, 1, 4, 1, 0);
        gl.vertex(1, 0, 4, -1, 0);
        gl.end();
    }
}

// ---- The scenes' common opening ----

struct TimeTurn
{
    double degreesPerMs;
    float x, y, z;
};

struct Scene
{
    const char *name;
    int firstMs;
    float band[3];
    double bandBottom, bandHeight;
    bool alphaTest;
    float alphaReference;
    bool culling, depthTest, blending;
    float cameraZ;
    QVector<TimeTurn> turns;
    float scale;
    void (*draw)(CallList &, int);
};

const TimeTurn kAboutX = {0.05, 1, 0, 0};
const TimeTurn kAboutY = {0.07, 0, 1, 0};
const TimeTurn kAboutZ = {0.08, 0, 0, 1};
const TimeTurn kTurnZ = {0.1, 0, 0, 1};

// clang-format off
const Scene kScenes[] = {
    // name              from    band colour        bottom  height  alpha  ref    cull   depth  blend  camera  turns                                                scale  drawing
    {"crossed planes",   INT_MIN, {0, 0, 0.3f},      0.1666, 0.666, true,  0.5f,  true,  true,  false, -3,    {kAboutX, kAboutY, kAboutZ},                         0.5f,  drawCrossedPlanes},
    {"swarm",            9900,   {0.3f, 0.4f, 1},    0.1666, 0.666, false, 0.01f, false, false, true,  -3,    {kAboutX, kAboutY, kAboutZ},                         0.27f, drawSwarm},
    {"tumbling swarm",   20000,  {0.3f, 0.4f, 1},    0.1666, 0.666, false, 0.01f, false, false, true,  -3,    {kAboutX, kAboutY, kAboutZ},                         0.27f, drawTumblingSwarm},
    {"wave",             25000,  {0.7f, 0.5f, 0.1f}, 0.1666, 0.666, false, 0.01f, false, false, true,  -1.5f, {kTurnZ},                                            0.1f,  drawWave},
    {"grid",             40000,  {0, 0.7f, 1},       0.1666, 0.666, false, 0.01f, false, false, true,  -3,    {kTurnZ},                                            0.1f,  drawGrid},
    {"ring",             59000,  {1, 0.6f, 0},       0.1,    0.8,   false, 0.99f, true,  false, true,  -3,    {{0.1, 0, 0, 1}, {0.11, 0, 1, 0}, {0.15, 1, 0, 0}}, 0.18f, drawRing},
};
// clang-format on

const Scene &sceneAt(int clock)
{
    const Scene *chosen = &kScenes[0];
    for (const Scene &scene : kScenes) {
        if (clock >= scene.firstMs)
            chosen = &scene;
    }
    return *chosen;
}

void open(CallList &gl, const Scene &scene, int t, const QSize &size)
{
    gl.add("glClearColor", {real(0), real(0), real(0), real(0)});
    gl.clearColourAndDepth();
    gl.add("glClearColor",
           {real(scene.band[0]), real(scene.band[1]), real(scene.band[2]), real(0)});
    const int bottom = int(size.height() * scene.bandBottom);
    const int rows = int(size.height() * scene.bandHeight);
    gl.add("glScissor", {whole(0), whole(bottom), whole(size.width()), whole(rows)});
    gl.setSwitch("GL_SCISSOR_TEST", true);
    gl.clearColourAndDepth();
    gl.setSwitch("GL_SCISSOR_TEST", false);
    gl.setSwitch("GL_ALPHA_TEST", scene.alphaTest);
    gl.add("glAlphaFunc", {symbol("GL_GREATER"), real(scene.alphaReference)});
    gl.setSwitch("GL_CULL_FACE", scene.culling);
    gl.setSwitch("GL_DEPTH_TEST", scene.depthTest);
    gl.add("glLoadIdentity");
    gl.add("glTranslatef", {real(0), real(0), real(scene.cameraZ)});
    for (const TimeTurn &turn : scene.turns)
        gl.rotate(float(double(t) * turn.degreesPerMs), turn.x, turn.y, turn.z);
    gl.setSwitch("GL_BLEND", scene.blending);
    gl.add("glBlendFunc", {symbol("GL_SRC_ALPHA"), symbol("GL_ONE_MINUS_SRC_ALPHA")});
    gl.add("glScalef", {real(scene.scale), real(scene.scale), real(scene.scale)});
    gl.setSwitch("GL_TEXTURE_2D", true);
}

} // namespace

namespace ExpectedFrame {

QVector<GlCall> calls(int clock, const QSize &size)
{
    const Scene &scene = sceneAt(clock);
    CallList gl;
    open(gl, scene, clock, size);
    scene.draw(gl, clock);
    return gl.list;
}

QString sceneName(int clock)
{
    return QLatin1String(sceneAt(clock).name);
}

} // namespace ExpectedFrame
