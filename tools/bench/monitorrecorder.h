#ifndef MONITORRECORDER_H
#define MONITORRECORDER_H

#include "sinkrecording.h"

#include <QString>

struct pa_context;
struct pa_server_info;
struct pa_stream;
struct pa_threaded_mainloop;

// Records what the desktop's sound server plays into its default sink, from that sink's
// monitor, through libpulse (which PipeWire serves too), on libpulse's own thread. Each
// fragment read notes which sample the sink plays at that moment, as the stream's latency
// tells, so that the recording's own delay is taken off.
class MonitorRecorder
{
public:
    MonitorRecorder();
    ~MonitorRecorder();
    MonitorRecorder(const MonitorRecorder &) = delete;
    MonitorRecorder &operator=(const MonitorRecorder &) = delete;

    // Connects and starts recording; false, with the reason in errorString(), where no server
    // answers or its default sink has no monitor to record.
    bool start();
    QString errorString() const { return error; }
    // The server as it names itself: "PulseAudio 16.1", "PulseAudio (on PipeWire 0.3.65)".
    QString serverName() const { return server; }
    QString sinkName() const { return sink; }
    // Stops recording: what was heard since start().
    SinkRecording stop();

private:
    // Runs libpulse's loop until done() holds, with its lock held.
    template <typename Done> void waitUntil(Done done);
    bool connectToServer();
    bool readServerInfo();
    bool recordMonitor();
    void readFragments(pa_stream *from);
    // Notes which sample of the recording the sink plays now.
    void notePlaying(pa_stream *from);
    QString failure(const QString &what) const;

    static void contextChanged(pa_context *context, void *recorder);
    static void serverInfoRead(pa_context *context, const pa_server_info *info, void *recorder);
    static void streamChanged(pa_stream *stream, void *recorder);
    static void fragmentsArrived(pa_stream *stream, size_t bytes, void *recorder);

    pa_threaded_mainloop *mainloop = nullptr;
    pa_context *context = nullptr;
    pa_stream *stream = nullptr;
    bool infoRead = false;
    QString server;
    QString sink;
    QString error;
    qint64 samplesRead = 0;
    SinkRecording recording;
};

#endif
